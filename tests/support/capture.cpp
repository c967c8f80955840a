#include "capture.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#define getpid _getpid
#define dup _dup
#define dup2 _dup2
#define close _close
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

std::string read_all(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// Points a C stream at a file for the life of the object, then puts it back.
class redirect {
  public:
    redirect(FILE* stream, const std::filesystem::path& path) : stream_(stream) {
        std::fflush(stream_);
        saved_ = dup(fileno(stream_));
        FILE* file = std::fopen(path.string().c_str(), "wb");
        dup2(fileno(file), fileno(stream_));
        std::fclose(file);
    }
    ~redirect() {
        std::fflush(stream_);
        dup2(saved_, fileno(stream_));
        close(saved_);
    }

  private:
    FILE* stream_;
    int saved_;
};

}  // namespace

captured_output capture_output(const std::function<void()>& body) {
    // Test programs run side by side: the process id keeps their files apart.
    static int counter = 0;
    auto base = std::filesystem::temp_directory_path() /
                ("morvale-capture-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
    auto out_path = base.string() + ".out";
    auto err_path = base.string() + ".err";
    {
        redirect out(stdout, out_path);
        redirect err(stderr, err_path);
        body();
    }
    captured_output result{read_all(out_path), read_all(err_path)};
    // Under wine a helper process that COM starts may inherit the redirected streams and
    // hold the files open for a while; such a file is left behind.
    std::error_code ignored;
    std::filesystem::remove(out_path, ignored);
    std::filesystem::remove(err_path, ignored);
    return result;
}
