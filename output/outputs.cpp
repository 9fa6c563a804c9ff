#include "output/outputs.h"

#include <cerrno>
#include <cstdarg>

#include "common/report.h"
#include "output/names.h"
#include "platform/platform.h"

namespace {

// The folder part of a path, with its separator; empty for a bare name.
std::string folderOf(const std::string& path)
{
    size_t at = path.size();
    while (at > 0 && !isPathSeparator(path[at - 1]))
        at--;
    return path.substr(0, at);
}

unsigned long failedOutputs = 0;

void fail(OutputFile& out, int error)
{
    if (!out.error)
        out.error = error ? error : EIO;
}

}  // namespace

OutputFile::~OutputFile()
{
    if (file) {
        file.reset();
        removeFile(temp);
    }
}

bool openOutput(OutputFile& out, const std::string& path)
{
    static unsigned long counter = 0;
    out.path = path;
    out.error = 0;
    // A short name of its own: an output name near the system's length limit
    // must not fail for its temporary's sake.
    for (int attempt = 0; attempt < 100; attempt++) {
        out.temp = folderOf(path) + ".assetdump-" + std::to_string(processNumber()) + "-" + std::to_string(counter++) +
                   ".tmp";
        errno = 0;
        out.file = File(createNewFile(out.temp));
        if (out.file || errno != EEXIST)
            break;
    }
    if (!out.file) {
        fail(out, errno);
        out.temp.clear();  // never created: the name may be another run's
        return false;
    }
    out.buffer.resize(size_t(1) << 16);
    std::setvbuf(out.file.get(), out.buffer.data(), _IOFBF, out.buffer.size());
    return true;
}

bool writeOutput(OutputFile& out, const void* data, size_t size)
{
    if (out.error)
        return false;
    errno = 0;
    if (size && std::fwrite(data, 1, size, out.file.get()) != size)
        fail(out, errno);
    return !out.error;
}

bool printOutput(OutputFile& out, const char* format, ...)
{
    if (out.error)
        return false;
    va_list args;
    va_start(args, format);
    errno = 0;
    if (std::vfprintf(out.file.get(), format, args) < 0)
        fail(out, errno);
    va_end(args);
    return !out.error;
}

bool placeOutputs(std::initializer_list<OutputFile*> outputs)
{
    bool whole = true;
    for (OutputFile* out : outputs) {
        if (out->file) {
            errno = 0;
            // A full disk often shows only at the last flush or at the close.
            if (std::fflush(out->file.get()) != 0 || std::ferror(out->file.get()))
                fail(*out, errno);
            errno = 0;
            if (std::fclose(out->file.release()) != 0)
                fail(*out, errno);
        }
        whole = whole && !out->error;
    }
    // A pair goes in place together: a folder at a later name must not leave
    // the first replaced (a folder at the first name stops the renames below
    // before anything has moved).
    if (whole)
        for (auto it = outputs.begin() + 1; it < outputs.end(); ++it)
            if (isDirectory((*it)->path)) {
                fail(**it, EISDIR);
                whole = false;
            }
    for (OutputFile* out : outputs) {
        if (!whole)
            break;
        if (!replaceFile(out->temp, out->path)) {
            fail(*out, errno);
            removeFile(out->temp);
            whole = false;
        }
        out->temp.clear();
    }
    if (whole)
        return true;
    std::string failed;
    for (OutputFile* out : outputs)
        if (out->error && failed.empty())
            failed = getName(out->path);
    for (OutputFile* out : outputs) {
        if (!out->error && out->temp.empty())
            continue;  // put in place before a later one failed
        if (!out->temp.empty())
            removeFile(out->temp);
        out->temp.clear();
        failedOutputs++;
        reportProblem(out->path, out->error ? systemReason(out->error) : "not written: " + failed + " could not be");
    }
    return false;
}

unsigned long failedOutputCount()
{
    return failedOutputs;
}

bool makeOutputDir(const std::string& path, std::string& dir)
{
    errno = 0;
    dir = createDir(path);
    if (isDirectory(dir))
        return true;
    reportProblem(dir, "cannot make the output folder: " + systemReason(errno ? errno : ENOTDIR));
    return false;
}
