// Windows: every path crosses into the wide-character API as UTF-16, so
// names outside the system code page work.
#include "platform/platform.h"

#include <windows.h>
#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace {

std::wstring wide(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n);
    return out;
}

std::string utf8(const wchar_t* text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return std::string();
    std::string out(size_t(n - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}

// The C runtime's errno for the last Win32 error, so one strerror serves both platforms.
void setErrnoFromLastError()
{
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: case ERROR_INVALID_DRIVE: errno = ENOENT; break;
    case ERROR_ACCESS_DENIED: case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION: errno = EACCES; break;
    case ERROR_FILE_EXISTS: case ERROR_ALREADY_EXISTS: errno = EEXIST; break;
    case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL: errno = ENOSPC; break;
    case ERROR_FILENAME_EXCED_RANGE: errno = ENAMETOOLONG; break;
    case ERROR_DIR_NOT_EMPTY: errno = ENOTEMPTY; break;
    case ERROR_INVALID_NAME: case ERROR_BAD_PATHNAME: errno = EINVAL; break;
    case ERROR_NOT_ENOUGH_MEMORY: case ERROR_OUTOFMEMORY: errno = ENOMEM; break;
    default: errno = EIO; break;
    }
}

// A name Windows opens as a device whatever folder or extension it has.
bool namesDevice(const std::string& path)
{
    size_t start = path.find_last_of("/\\");
    std::string stem = path.substr(start == std::string::npos ? 0 : start + 1);
    stem = stem.substr(0, stem.find('.'));
    stem = stem.substr(0, stem.find_last_not_of(' ') + 1);
    for (char& c : stem)
        c = char(c >= 'a' && c <= 'z' ? c - 32 : c);
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" || stem == "CONOUT$")
        return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}

bool removeEmptyDirectory(const std::string& path)
{
    if (RemoveDirectoryW(wide(path).c_str()))
        return true;
    setErrnoFromLastError();
    return false;
}

bool isDirectory(const std::string& path)
{
    DWORD attributes = GetFileAttributesW(wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

PathKind linkKind(const std::string& path, std::string& what, unsigned* mode)
{
    if (mode)
        *mode = 0;
    if (path.compare(0, 4, "\\\\.\\") == 0 || namesDevice(path)) {
        what = "a device";
        return PathKind::Other;
    }
    DWORD attributes = GetFileAttributesW(wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        setErrnoFromLastError();
        return PathKind::Missing;
    }
    // Junctions and symbolic links are reparse points: never followed.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return PathKind::Link;
    return attributes & FILE_ATTRIBUTE_DIRECTORY ? PathKind::Directory : PathKind::Regular;
}

bool sameFile(const std::string& a, const std::string& b)
{
    BY_HANDLE_FILE_INFORMATION info[2];
    const std::string* paths[2] = {&a, &b};
    for (int k = 0; k < 2; k++) {
        HANDLE h = CreateFileW(wide(*paths[k]).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        BOOL got = GetFileInformationByHandle(h, &info[k]);
        CloseHandle(h);
        if (!got)
            return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

PathKind pathKind(const std::string& path, std::string& what)
{
    const PathKind kind = linkKind(path, what);
    if (kind != PathKind::Link)
        return kind;
    // A link is taken for what its attributes say it leads to.
    return GetFileAttributesW(wide(path).c_str()) & FILE_ATTRIBUTE_DIRECTORY ? PathKind::Directory : PathKind::Regular;
}

namespace {

int64_t nanosecondsOf(int64_t ticks)
{
    return (ticks - 116444736000000000LL) * 100;  // 100 ns ticks since 1601
}

// The stamp of an open file: its size, times, number and volume.
bool stampOfHandle(HANDLE h, FileStamp& stamp)
{
    BY_HANDLE_FILE_INFORMATION info;
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandle(h, &info) ||
        !GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic))
        return false;
    stamp.size = int64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    stamp.mtime = nanosecondsOf(basic.LastWriteTime.QuadPart);
    stamp.ctime = nanosecondsOf(basic.ChangeTime.QuadPart);
    stamp.inode = uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    stamp.device = info.dwVolumeSerialNumber;
    return true;
}

}  // namespace

int openInputFile(const std::string& path, FileStamp& stamp)
{
    int fd = _wopen(wide(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0)
        return -1;
    struct _stati64 st;
    if (GetFileType(HANDLE(_get_osfhandle(fd))) != FILE_TYPE_DISK || _fstati64(fd, &st) != 0 ||
        !(st.st_mode & _S_IFREG)) {
        _close(fd);
        errno = EINVAL;
        return -1;
    }
    if (!stampOfHandle(HANDLE(_get_osfhandle(fd)), stamp))
        stamp.size = int64_t(st.st_size);
    return fd;
}

int64_t readAt(int fd, void* buffer, size_t n, int64_t pos)
{
    // Each input has a handle of its own: seeking it never races.
    if (_lseeki64(fd, pos, SEEK_SET) < 0)
        return -1;
    size_t done = 0;
    while (done < n) {
        const unsigned piece = unsigned(std::min<size_t>(n - done, 1u << 30));
        const int got = _read(fd, static_cast<char*>(buffer) + done, piece);
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += size_t(got);
    }
    return int64_t(done);
}

int createNewFile(const std::string& path)
{
    return _wopen(wide(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                  _S_IREAD | _S_IWRITE);
}

bool writeAll(int fd, const void* data, size_t n)
{
    for (size_t done = 0; done < n;) {
        const unsigned piece = unsigned(std::min<size_t>(n - done, 1u << 30));
        const int wrote = _write(fd, static_cast<const char*>(data) + done, piece);
        if (wrote <= 0) {
            if (wrote == 0)
                errno = ENOSPC;
            return false;
        }
        done += size_t(wrote);
    }
    return true;
}

bool closeFile(int fd)
{
    return _close(fd) == 0;
}

bool replaceFile(const std::string& from, const std::string& to)
{
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    setErrnoFromLastError();
    return false;
}

bool removeFile(const std::string& path)
{
    if (DeleteFileW(wide(path).c_str()))
        return true;
    setErrnoFromLastError();
    return false;
}

unsigned newFileMode()
{
    return 0;  // no permission bits to keep
}

bool setFileMode(const std::string&, unsigned)
{
    return true;
}

bool renameFolder(const std::string& from, const std::string& to)
{
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), 0))
        return true;
    setErrnoFromLastError();
    return false;
}

bool removeTree(const std::string& path)
{
    DWORD attributes = GetFileAttributesW(wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return removeFile(path);
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {  // a junction goes alone, not what it points at
        std::vector<std::string> names;
        listDirectory(path, names);
        for (const std::string& name : names)
            if (name != "." && name != "..")
                removeTree(path + "\\" + name);
    }
    return removeEmptyDirectory(path);
}

bool olderThan(const std::string& path, long long seconds)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, &data))
        return false;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    auto ticks = [](const FILETIME& t) { return (long long)t.dwHighDateTime << 32 | t.dwLowDateTime; };
    return (ticks(now) - ticks(data.ftLastWriteTime)) / 10000000 > seconds;  // 100 ns ticks
}

bool makeDirectory(const std::string& path)
{
    if (CreateDirectoryW(wide(path).c_str(), nullptr))
        return true;
    setErrnoFromLastError();
    int saved = errno;
    if (saved == EEXIST && isDirectory(path))
        return true;
    errno = saved;
    return false;
}

bool removeFileBelow(const std::string& root, const std::string& relative)
{
    // Every folder on the way must be a folder, not a reparse point.
    std::string path = root;
    size_t at = 0;
    for (size_t slash; (slash = relative.find('/', at)) != std::string::npos; at = slash + 1) {
        path += '\\';
        path.append(relative, at, slash - at);
        const DWORD attributes = GetFileAttributesW(wide(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            errno = attributes == INVALID_FILE_ATTRIBUTES ? ENOENT : ELOOP;
            return false;
        }
    }
    path += '\\';
    path.append(relative, at, std::string::npos);
    const DWORD attributes = GetFileAttributesW(wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        errno = attributes == INVALID_FILE_ATTRIBUTES ? ENOENT : ELOOP;
        return false;
    }
    return removeFile(path);
}

bool openFileStamp(int fd, FileStamp& stamp)
{
    return stampOfHandle(HANDLE(_get_osfhandle(fd)), stamp);
}

bool fileStamp(const std::string& path, FileStamp& stamp)
{
    // No access asked for: the file's stamp is read even while another
    // program holds it open, and a link is looked at, never followed.
    HANDLE h = CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool regular = GetFileInformationByHandle(h, &info) &&
                         !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
    const bool stamped = regular && stampOfHandle(h, stamp);
    CloseHandle(h);
    return stamped;
}

void hideFile(const std::string& path)
{
    const std::wstring w = wide(path);
    const DWORD attributes = GetFileAttributesW(w.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesW(w.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN);
}

bool makeNewDirectory(const std::string& path)
{
    if (CreateDirectoryW(wide(path).c_str(), nullptr))
        return true;
    setErrnoFromLastError();
    return false;
}

bool listDirectory(const std::string& path, std::vector<std::string>& names)
{
    std::wstring pattern = wide(path) + L"\\*";
    WIN32_FIND_DATAW findData;
    HANDLE handle = FindFirstFileW(pattern.c_str(), &findData);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    do
        names.push_back(utf8(findData.cFileName));
    while (FindNextFileW(handle, &findData));
    FindClose(handle);
    return true;
}

intptr_t openWalkFolder(intptr_t parent, const std::string& name, const std::string& path)
{
    (void)name;
    // Without FILE_SHARE_DELETE nobody renames or removes the folder while
    // it is held, so it cannot be swapped for a link behind the walk.
    HANDLE h = CreateFileW(wide(path).c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | (parent ? FILE_FLAG_OPEN_REPARSE_POINT : 0),
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        setErrnoFromLastError();
        return 0;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (parent && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
        CloseHandle(h);
        errno = ENOTDIR;
        return 0;
    }
    return reinterpret_cast<intptr_t>(h);
}

bool listWalkFolder(intptr_t folder, const std::string& path, std::vector<WalkEntry>& entries)
{
    (void)folder;
    std::vector<std::string> names;
    if (!listDirectory(path, names))
        return false;
    for (const std::string& name : names) {
        if (name == "." || name == "..")
            continue;
        WalkEntry e{name, PathKind::Missing, "", 0};
        errno = 0;
        e.kind = linkKind(path + "\\" + name, e.what);
        if (e.kind == PathKind::Missing)
            e.error = errno ? errno : ENOENT;
        entries.push_back(std::move(e));
    }
    return true;
}

void closeWalkFolder(intptr_t folder)
{
    if (folder)
        CloseHandle(reinterpret_cast<HANDLE>(folder));
}

unsigned long processNumber()
{
    return GetCurrentProcessId();
}

intptr_t holdLock(const std::string& path)
{
    HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    OVERLAPPED at{};
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        CloseHandle(h);
        return 0;
    }
    return reinterpret_cast<intptr_t>(h);
}

void releaseLock(intptr_t lock)
{
    if (lock)
        CloseHandle(reinterpret_cast<HANDLE>(lock));
}

bool lockHeld(const std::string& path)
{
    HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    OVERLAPPED at{};
    const bool held = !LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at);
    CloseHandle(h);
    return held;
}

intptr_t holdFolder(const std::string& folder, const std::function<void()>& waiting)
{
    // A lock file that goes with the last handle to it: one that is on its
    // way out (its holder let go while this run waited) is made anew.
    const std::wstring path = wide(folder + "\\.assetdump.lock");
    bool told = false;
    for (int attempt = 0; attempt < 100000; attempt++) {
        HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
                               nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (GetLastError() != ERROR_ACCESS_DENIED) {
                setErrnoFromLastError();
                return 0;
            }
            Sleep(10);  // being deleted: made anew in a moment
            continue;
        }
        OVERLAPPED at{};
        if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
            if (!told && waiting)
                waiting();
            told = true;
            OVERLAPPED again{};
            if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &again)) {
                setErrnoFromLastError();
                CloseHandle(h);
                return 0;
            }
        }
        FILE_STANDARD_INFO standard;
        if (GetFileInformationByHandleEx(h, FileStandardInfo, &standard, sizeof standard) && !standard.DeletePending)
            return reinterpret_cast<intptr_t>(h);
        CloseHandle(h);
    }
    errno = EBUSY;
    return 0;
}

void letGoFolder(intptr_t hold)
{
    if (hold)
        CloseHandle(reinterpret_cast<HANDLE>(hold));
}

bool processRuns(unsigned long number)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(number));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    BOOL got = GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return got && code == STILL_ACTIVE;
}

std::vector<std::string> commandArguments(int argc, char** argv)
{
    // The narrow argv went through the system code page; take the command line as it was typed.
    int count = 0;
    wchar_t** list = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!list)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    for (int i = 0; i < count; i++)
        args.push_back(utf8(list[i]));
    LocalFree(list);
    return args;
}

void prepareProcess()
{
    // Result lines carry UTF-8 names: let a console show them as such.
    SetConsoleOutputCP(CP_UTF8);
    // Lines end in LF alone, as on every other system.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

namespace {
void (*interruptCleanup)() = nullptr;

BOOL WINAPI onConsoleEvent(DWORD event)
{
    // Runs in a thread of its own; the process ends when it returns from a
    // close event anyway, so it ends here, after cleaning up, in every case.
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    if (interruptCleanup)
        interruptCleanup();
    ExitProcess(event == CTRL_C_EVENT ? 128 + 2 : event == CTRL_BREAK_EVENT ? 128 + 21 : 128 + 1);
}
}  // namespace

void catchInterrupts(void (*cleanup)())
{
    interruptCleanup = cleanup;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool errorIsTerminal()
{
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

bool outputIsTerminal()
{
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

int terminalColumns()
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
        return info.srWindow.Right - info.srWindow.Left + 1;
    return 80;
}

namespace {
bool pauseAsked = false;
}  // namespace

void askForPause(bool on)
{
    pauseAsked = on;
}

void consolePause()
{
    // A console shared with cmd, PowerShell or a batch file stays open by
    // itself; only a console the tool has alone closes with it (or --pause).
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) != 1 && !pauseAsked)
        return;
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE), out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode, written;
    if (!GetConsoleMode(in, &mode) || !GetConsoleMode(out, &mode))
        return;  // redirected: nobody is looking at this window
    std::fflush(stdout);
    static const wchar_t prompt[] = L"Press any key to continue . . .";
    WriteConsoleW(out, prompt, DWORD(sizeof prompt / sizeof prompt[0] - 1), &written, nullptr);
    _getwch();
    WriteConsoleW(out, L"\r\n", 2, &written, nullptr);
}
