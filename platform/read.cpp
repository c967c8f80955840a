#include "platform/read.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/fs.h"
#include "platform/image.h"

#ifdef _WIN32
#include <io.h>
#include <share.h>
#include <windows.h>
#include <winioctl.h>
#else
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/fs.h>
#endif
#endif

namespace platform {

namespace {

// What an open file is: its size in bytes (for a block device, the device's size) and
// whether it is a folder.
struct stream_status {
    int64_t size = 0;
    bool directory = false;
};

}  // namespace

const char* read_error_text(int error) {
    if (error == file_shrank) return "the file is shorter than when the run began";
    if (error == not_regular_file) return "not a regular file";
    if (error == ewf_not_supported)
        return "an EWF (Expert Witness) image: this build cannot read it, the Linux build can";
    if (error == image_damaged) return "the image's data there is damaged or missing";
    if (error == segment_missing) return "no segment of the image holds them";
    return std::strerror(error);
}

#ifdef _WIN32

namespace {

HANDLE handle_of(FILE* file) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
}

// The handle is synchronous: the offset travels in OVERLAPPED.
long long read_file_once(FILE* file, uint64_t offset, char* buffer, size_t length) {
    OVERLAPPED where{};
    where.Offset = DWORD(offset);
    where.OffsetHigh = DWORD(offset >> 32);
    DWORD got = 0;
    DWORD asked = DWORD(std::min<size_t>(length, 1u << 30));
    if (ReadFile(handle_of(file), buffer, asked, &got, &where)) return got;
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    errno = EIO;
    return -1;
}

// Files, folders and disks only: a pipe or a console could block the run for ever.
FILE* open_for_reading(const char* path) {
    FILE* file = _wfsopen(widen_path(path).c_str(), L"rb", _SH_DENYNO);
    if (file == nullptr || GetFileType(handle_of(file)) == FILE_TYPE_DISK) return file;
    std::fclose(file);
    errno = not_regular_file;
    return nullptr;
}

std::optional<stream_status> status_of_file(FILE* file) {
    HANDLE handle = handle_of(file);
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(handle, &information)) {
        stream_status status;
        status.directory = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        status.size =
            int64_t((uint64_t(information.nFileSizeHigh) << 32) | information.nFileSizeLow);
        return status;
    }
    // A disk or partition opened as \\.\PhysicalDriveN or \\.\X: tells its length itself.
    GET_LENGTH_INFORMATION length{};
    DWORD returned = 0;
    if (DeviceIoControl(handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length,
                        &returned, nullptr)) {
        return stream_status{int64_t(length.Length.QuadPart), false};
    }
    errno = EIO;
    return std::nullopt;
}

std::optional<file_identity> identity_of_handle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle, &information)) return std::nullopt;
    return file_identity{information.dwVolumeSerialNumber,
                         (uint64_t(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
}

std::optional<file_identity> identity_of_file(FILE* file) {
    return identity_of_handle(handle_of(file));
}

}  // namespace

std::optional<file_identity> identity_of(const char* path) {
    HANDLE handle = CreateFileW(
        widen_path(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    auto identity = identity_of_handle(handle);
    CloseHandle(handle);
    return identity;
}

#else

namespace {

long long read_file_once(FILE* file, uint64_t offset, char* buffer, size_t length) {
    for (;;) {
        ssize_t got = pread(fileno(file), buffer, length, static_cast<off_t>(offset));
        if (got >= 0 || errno != EINTR) return got;
    }
}

// The access time of a store is evidence too; O_NOATIME is granted to the file's owner
// (and to root) only, so a refusal falls back to an ordinary open.
// The opening does not wait (a pipe with no writer would block it for ever): only regular
// files, block devices and folders are kept, and read waiting as usual.
FILE* open_for_reading(const char* path) {
    int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
#ifdef O_NOATIME
    int descriptor = open(path, flags | O_NOATIME);
    if (descriptor < 0 && errno == EPERM) descriptor = open(path, flags);
#else
    int descriptor = open(path, flags);
#endif
    if (descriptor < 0) return nullptr;
    struct stat status;
    int error = 0;
    if (fstat(descriptor, &status) != 0) {
        error = errno;
    } else if (!S_ISREG(status.st_mode) && !S_ISBLK(status.st_mode) && !S_ISDIR(status.st_mode)) {
        error = not_regular_file;
    } else if (fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0) {
        error = errno;
    }
    if (error != 0) {
        close(descriptor);
        errno = error;
        return nullptr;
    }
    FILE* file = fdopen(descriptor, "rb");
    if (file == nullptr) close(descriptor);
    return file;
}

std::optional<stream_status> status_of_file(FILE* file) {
    struct stat status;
    if (fstat(fileno(file), &status) != 0) return std::nullopt;
    stream_status result{int64_t(status.st_size), S_ISDIR(status.st_mode)};
#if defined(__linux__) && defined(BLKGETSIZE64)
    // A block device's status gives no size; the device tells it.
    uint64_t device_size = 0;
    if (S_ISBLK(status.st_mode)) {
        if (ioctl(fileno(file), BLKGETSIZE64, &device_size) != 0) return std::nullopt;
        result.size = int64_t(device_size);
    }
#endif
    return result;
}

std::optional<file_identity> identity_of_file(FILE* file) {
    struct stat status;
    if (fstat(fileno(file), &status) != 0) return std::nullopt;
    return file_identity{uint64_t(status.st_dev), uint64_t(status.st_ino)};
}

}  // namespace

std::optional<file_identity> identity_of(const char* path) {
    struct stat status;
    if (lstat(path, &status) != 0) return std::nullopt;
    return file_identity{uint64_t(status.st_dev), uint64_t(status.st_ino)};
}

#endif

std::vector<image_segment> byte_source::segments() const {
    return {{name_, size_, 0, size_}};
}

// Reads until the bytes before size() arrived or a read failed; a read that gives none
// before size() finds the file shorter than it was.
read_outcome positioned_source::read(uint64_t offset, void* buffer, size_t length) {
    uint64_t end = size();
    size_t wanted = offset >= end ? 0 : size_t(std::min<uint64_t>(length, end - offset));
    read_outcome outcome;
    auto* bytes = static_cast<char*>(buffer);
    while (outcome.count < wanted) {
        long long got =
            read_once(offset + outcome.count, bytes + outcome.count, wanted - outcome.count);
        if (got < 0) {
            outcome.error = errno != 0 ? errno : EIO;
            return outcome;
        }
        if (got == 0) break;
        outcome.count += size_t(got);
    }
    if (outcome.count < wanted) outcome.error = file_shrank;
    return outcome;
}

namespace {

// A plain file or a block device.
class file_source : public positioned_source {
  public:
    file_source(FILE* file, std::string name, uint64_t size)
        : positioned_source(std::move(name), size, identity_of_file(file)), file_(file) {}
    ~file_source() override { std::fclose(file_); }

  protected:
    long long read_once(uint64_t offset, char* buffer, size_t length) override {
        return read_file_once(file_, offset, buffer, length);
    }

  private:
    FILE* file_;
};

}  // namespace

source_opening open_file_source(const char* path, std::optional<uint64_t> measured) {
    source_opening opening;
    FILE* file = open_for_reading(path);
    if (file == nullptr) {
        opening.error = errno;
        return opening;
    }
    opening.opened = true;
    std::optional<stream_status> status = status_of_file(file);
    if (!status || status->directory) {
        opening.error = status ? EISDIR : errno;
        std::fclose(file);
        return opening;
    }
    uint64_t size = measured.value_or(uint64_t(std::max<int64_t>(status->size, 0)));
    opening.source = std::make_unique<file_source>(file, path, size);
    return opening;
}

}  // namespace platform
