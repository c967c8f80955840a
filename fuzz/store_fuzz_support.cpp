#include "store_fuzz_support.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tests/dbx/reference_scan.h"

namespace fs = std::filesystem;

namespace {

// A file that stands in for one standard stream while a piece of code runs. It lives in
// memory: the scan flushes its progress about a thousand times per store.
class stream_catcher {
  public:
    stream_catcher(FILE* stream, const char* name) : stream_(stream), file_(memfd_create(name, 0)) {
        if (file_ < 0) std::abort();
    }

    void start() {
        std::fflush(stream_);
        if (ftruncate(file_, 0) != 0 || lseek(file_, 0, SEEK_SET) != 0) std::abort();
        saved_ = dup(fileno(stream_));
        dup2(file_, fileno(stream_));
    }

    std::string stop() {
        std::fflush(stream_);
        dup2(saved_, fileno(stream_));
        close(saved_);
        std::string text(size_t(lseek(file_, 0, SEEK_END)), '\0');
        if (pread(file_, text.data(), text.size(), 0) != ssize_t(text.size())) std::abort();
        return text;
    }

  private:
    FILE* stream_;
    int file_;
    int saved_ = -1;
};

struct folder_remover {
    std::string path;
    ~folder_remover() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

}  // namespace

const std::string& fuzz_folder() {
    static const folder_remover folder{[] {
        // In memory where the system offers it: every input makes and removes a few
        // dozen files.
        std::error_code error;
        fs::path base =
            fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "morvale-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        return pattern;
    }()};
    return folder.path;
}

std::string write_input(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    require(file != nullptr, "cannot write " + path);
    require(size == 0 || std::fwrite(data, 1, size, file) == size, "cannot write " + path);
    std::fclose(file);
    return path;
}

caught_output catch_output(const std::function<void()>& body) {
    static stream_catcher out(stdout, "morvale-fuzz-stdout");
    static stream_catcher err(stderr, "morvale-fuzz-stderr");
    out.start();
    err.start();
    body();
    caught_output caught;
    caught.err = err.stop();
    caught.out = out.stop();
    return caught;
}

void require(bool holds, const std::string& what) {
    if (holds) return;
    std::fprintf(stderr, "broken promise: %s\n", what.c_str());
    std::abort();
}

dbx_t* reference_scan(const std::string& path) {
    dbx_t* store = nullptr;
    catch_output([&] { store = reference_open(path.c_str()); });
    require(store != nullptr, "the reference scan cannot open " + path);
    return store;
}
