// Scratch folders, whole-file reads and writes, and running the programs (see files.h).
#include "support/files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {
// Paths are UTF-8 texts, as the tool takes them on every platform.
fs::path native(const std::string& utf8)
{
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}
std::string utf8(const std::u8string& text)
{
    return std::string(text.begin(), text.end());
}
}  // namespace

TempDir::TempDir()
{
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (;;) {
        fs::path candidate = fs::temp_directory_path() / ("assetdump-test-" + std::to_string(random()));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            path = utf8(candidate.make_preferred().u8string());
            return;
        }
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(native(path), ec);
}

std::string TempDir::operator/(const std::string& name) const
{
    return path + pathSeparator() + name;
}

std::string numberedName(const std::string& prefix, size_t number, const std::string& extension)
{
    std::string name = prefix;
    name += std::to_string(number);
    name += extension;
    return name;
}

char pathSeparator()
{
#ifdef _WIN32
    return '\\';
#else
    return '/';
#endif
}

bool readFile(const std::string& path, std::vector<uint8_t>& bytes)
{
    std::ifstream in(native(path), std::ios::binary);
    if (!in || fs::is_directory(native(path)))
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

std::vector<uint8_t> readFile(const std::string& path)
{
    std::vector<uint8_t> bytes;
    readFile(path, bytes);
    return bytes;
}

std::string readText(const std::string& path)
{
    std::vector<uint8_t> bytes = readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(native(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

bool exists(const std::string& path)
{
    std::error_code ec;
    return fs::exists(native(path), ec);
}

void makeDirectories(const std::string& path)
{
    std::error_code ec;
    fs::create_directories(native(path), ec);
}

bool isDir(const std::string& path)
{
    std::error_code ec;
    return fs::is_directory(native(path), ec);
}

std::vector<std::string> listTree(const std::string& dir, bool withRecords)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(native(dir), ec); !ec && it != fs::recursive_directory_iterator();
         ++it)
        if (it->is_regular_file() && (withRecords || it->path().filename() != ".assetdump.json"))
            names.push_back(utf8(fs::relative(it->path(), native(dir)).generic_u8string()));
    std::sort(names.begin(), names.end());
    return names;
}

namespace {
std::string quote(const std::string& s)
{
#ifdef _WIN32
    return "\"" + s + "\"";
#else
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
#endif
}
}  // namespace

std::string toolPath()
{
    return ASSETDUMP_EXE;
}

std::string packerPath()
{
    return ASSETPACK_EXE;
}

RunResult runTool(const std::vector<std::string>& args, const std::string& dir, const std::string& program)
{
    TempDir capture;
#ifdef _WIN32
    std::string command = "cd /d " + quote(dir) + " && " + quote(program);  // /d: change the drive too
#else
    std::string command = "cd " + quote(dir) + " && " + quote(program);
#endif
    for (const std::string& arg : args) {
        command += ' ';
        command += quote(arg);
    }
#ifdef _WIN32
    command += " <NUL >" + quote(capture / "out") + " 2>" + quote(capture / "err");
    command = "\"" + command + "\"";
#else
    command += " <&- >" + quote(capture / "out") + " 2>" + quote(capture / "err");
#endif
    RunResult result;
#ifdef _WIN32
    fs::path wideCommand = native(command);  // the ANSI system() would lose what the code page cannot hold
    int raw = _wsystem(wideCommand.c_str());
#else
    int raw = std::system(command.c_str());
#endif
#ifdef _WIN32
    result.status = raw;
#else
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    result.out = readText(capture / "out");
    result.err = readText(capture / "err");
#ifdef _WIN32
    // The console streams are in text mode on Windows.
    for (std::string* text : {&result.out, &result.err})
        text->erase(std::remove(text->begin(), text->end(), '\r'), text->end());
#endif
    return result;
}

#ifndef _WIN32
RunResult runToolWith(const std::vector<std::string>& args, const std::string& dir, const RunLimits& limits)
{
    TempDir capture;
    const std::string program = limits.program.empty() ? toolPath() : limits.program;
    const std::string outPath = capture / "out", errPath = capture / "err";
    int pipeEnds[2] = {-1, -1};
    if (limits.readerGone && pipe(pipeEnds) != 0)
        return RunResult{};
    int terminal = -1;
    std::string terminalName;
    if (limits.terminal) {
        terminal = posix_openpt(O_RDWR | O_NOCTTY);
        if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0)
            return RunResult{};
        terminalName = ptsname(terminal);
    }
    pid_t child = fork();
    if (child == 0) {
        if (chdir(dir.c_str()) != 0)
            _exit(126);
        int in = open("/dev/null", O_RDONLY), out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600),
            err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (limits.ownSession)
            setsid();  // the terminal opened next becomes its controlling one
        if (limits.terminal)
            in = open(terminalName.c_str(), O_RDWR);
        dup2(in, 0);
        dup2(limits.readerGone ? pipeEnds[1] : limits.terminal == 2 ? in : out, 1);
        dup2(err, 2);
        for (int fd : {in, out, err, pipeEnds[0], pipeEnds[1], terminal})
            if (fd > 2)
                close(fd);
        if (limits.fileSize) {
            signal(SIGXFSZ, SIG_IGN);
            rlimit r{rlim_t(limits.fileSize), rlim_t(limits.fileSize)};
            setrlimit(RLIMIT_FSIZE, &r);
        }
        if (limits.memory) {
            rlimit r{rlim_t(limits.memory), rlim_t(limits.memory)};
            setrlimit(RLIMIT_AS, &r);
        }
        for (int fd : limits.closed)
            close(fd);
        alarm(limits.timeoutSeconds);  // survives the exec: a blocked run ends
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    if (limits.readerGone) {
        close(pipeEnds[0]);  // the reader goes away before the tool writes
        close(pipeEnds[1]);
    }
    if (terminal >= 0 && !limits.keys.empty())
        (void)!write(terminal, limits.keys.data(), limits.keys.size());
    int raw = 0;
    waitpid(child, &raw, 0);
    RunResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    result.out = readText(outPath);
    result.err = readText(errPath);
    if (limits.terminal == 2) {
        // What the terminal showed: the result lines, and any prompt.
        fcntl(terminal, F_SETFL, O_NONBLOCK);
        char buffer[4096];
        for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;)
            result.out.append(buffer, size_t(n));
    }
    if (terminal >= 0)
        close(terminal);
    return result;
}
#endif
