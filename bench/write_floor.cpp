// The write floor: the least time any converter could take to put a set of
// output folders on disk. The files of the FILE.FILES folders in a folder
// (made by an earlier run) are
// read into memory first, untimed; then, timed, the folders are made anew
// under another folder and every file is created, written in one call and
// closed, shared between the given number of threads as the tool shares its
// work. Prints the seconds.
//   assetdump_floor TREE NEW_FOLDER [THREADS]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s TREE NEW_FOLDER [THREADS]\n", argv[0]);
        return 2;
    }
    const fs::path tree = argv[1], target = argv[2];
    const unsigned threads = argc > 3 ? unsigned(std::atoi(argv[3])) : 1;
    struct File {
        std::string path;
        std::vector<char> bytes;
    };
    std::vector<std::string> folders;
    std::vector<File> files;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(tree)) {
        const std::string relative = fs::relative(e.path(), tree).string();
        const std::string top = relative.substr(0, relative.find('/'));
        if (top.size() < 6 || top.compare(top.size() - 6, 6, ".FILES") != 0)
            continue;  // the inputs: only the output folders are written
        if (e.is_directory()) {
            folders.push_back((target / relative).string());
        } else if (e.is_regular_file()) {
            std::ifstream in(e.path(), std::ios::binary);
            files.push_back({(target / relative).string(), std::vector<char>(std::istreambuf_iterator<char>(in), {})});
        }
    }
    const auto start = std::chrono::steady_clock::now();
    mkdir(target.c_str(), 0755);
    for (const std::string& folder : folders)
        mkdir(folder.c_str(), 0755);
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t k; (k = next++) < files.size();) {
            const int fd = open(files[k].path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd < 0 || write(fd, files[k].bytes.data(), files[k].bytes.size()) != ssize_t(files[k].bytes.size()) ||
                close(fd) != 0) {
                std::perror(files[k].path.c_str());
                std::exit(1);
            }
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; t++)
        pool.emplace_back(work);
    work();
    for (std::thread& t : pool)
        t.join();
    std::printf("%.4f\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return 0;
}
