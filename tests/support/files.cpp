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
#include <sys/wait.h>
#endif

namespace fs = std::filesystem;

TempDir::TempDir()
{
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (;;) {
        fs::path candidate = fs::temp_directory_path() / ("assetdump-test-" + std::to_string(random()));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            path = candidate.string();
            return;
        }
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(path, ec);
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
    std::ifstream in(path, std::ios::binary);
    if (!in || fs::is_directory(path))
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
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

bool exists(const std::string& path)
{
    std::error_code ec;
    return fs::exists(path, ec);
}

bool isDir(const std::string& path)
{
    std::error_code ec;
    return fs::is_directory(path, ec);
}

std::vector<std::string> listTree(const std::string& dir)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator(); ++it)
        if (it->is_regular_file())
            names.push_back(fs::relative(it->path(), dir).generic_string());
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

RunResult runTool(const std::vector<std::string>& args, const std::string& dir)
{
    TempDir capture;
#ifdef _WIN32
    std::string command = "cd /d " + quote(dir) + " && " + quote(toolPath());  // /d: change the drive too
#else
    std::string command = "cd " + quote(dir) + " && " + quote(toolPath());
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
    int raw = std::system(command.c_str());
#ifdef _WIN32
    result.status = raw;
#else
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    result.out = readText(capture / "out");
    result.err = readText(capture / "err");
#ifdef _WIN32
    // The console streams are in text mode on Windows, and the console's
    // "pause" prints its prompt: compare what the program itself wrote.
    for (std::string* text : {&result.out, &result.err}) {
        text->erase(std::remove(text->begin(), text->end(), '\r'), text->end());
        const std::string prompt = "Press any key to continue";
        for (size_t at; (at = text->find(prompt)) != std::string::npos;) {
            size_t end = at + prompt.size();
            while (end < text->size() && ((*text)[end] == '.' || (*text)[end] == ' '))
                end++;
            if (end < text->size() && (*text)[end] == '\n')
                end++;
            text->erase(at, end - at);
        }
    }
#endif
    return result;
}
