// The file systems of a disk image through The Sleuth Kit, which reads the image through
// its own byte source.

#include "platform/file_systems.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <set>

#if defined(MORVALE_HAVE_TSK)
#include <tsk/libtsk.h>
// The library's allocation of an image's header for an image read by the caller
// (tsk_img_open_external): zeroed, with its cache lock made; freed with that lock.
extern "C" void* tsk_img_malloc(size_t length);
extern "C" void tsk_img_free(void* info);
#endif

namespace platform {

namespace {

// The bytes of a found file: its runs in the image, its resident bytes, zero bytes
// elsewhere below its size.
class found_file_source : public positioned_source {
  public:
    found_file_source(byte_source& image, const found_file& file, std::string name)
        : positioned_source(std::move(name), file.size, std::nullopt),
          image_(image),
          runs_(file.runs),
          resident_(file.resident) {}

  protected:
    long long read_once(uint64_t offset, char* buffer, size_t length) override {
        if (!resident_.empty() || runs_.empty()) {
            size_t count = size_t(std::min<uint64_t>(length, size() - offset));
            size_t held = offset < resident_.size()
                              ? size_t(std::min<uint64_t>(count, resident_.size() - offset))
                              : 0;
            std::memcpy(buffer, resident_.data() + (held ? offset : 0), held);
            std::memset(buffer + held, 0, count - held);
            return (long long)count;
        }
        // The run that holds `offset`, or the first after it.
        auto run = std::upper_bound(
            runs_.begin(), runs_.end(), offset,
            [](uint64_t at, const file_run& r) { return at < r.offset + r.length; });
        uint64_t limit = size() - offset;
        if (run == runs_.end() || run->offset > offset) {
            uint64_t gap = run == runs_.end() ? limit : std::min(limit, run->offset - offset);
            size_t count = size_t(std::min<uint64_t>(length, gap));
            std::memset(buffer, 0, count);
            return (long long)count;
        }
        size_t count =
            size_t(std::min<uint64_t>({length, limit, run->offset + run->length - offset}));
        if (run->sparse) {
            std::memset(buffer, 0, count);
            return (long long)count;
        }
        read_outcome got = image_.read(run->image_offset + (offset - run->offset), buffer, count);
        if (got.count == 0 && got.error != 0) {
            errno = got.error;
            return -1;
        }
        if (got.count < count && got.error == 0) {  // the image ends within the run
            std::memset(buffer + got.count, 0, count - got.count);
            return (long long)count;
        }
        return (long long)got.count;
    }

  private:
    byte_source& image_;
    std::vector<file_run> runs_;
    std::string resident_;
};

}  // namespace

std::unique_ptr<byte_source> open_found_file(byte_source& image, const found_file& file,
                                             std::string name) {
    return std::make_unique<found_file_source>(image, file, std::move(name));
}

#if defined(MORVALE_HAVE_TSK)

namespace {

// Adds [start, end) to ordered, merged ranges.
void add_range(std::vector<byte_range>& ranges, uint64_t start, uint64_t end) {
    if (start >= end) return;
    if (!ranges.empty() && ranges.back().second >= start && ranges.back().first <= start) {
        ranges.back().second = std::max(ranges.back().second, end);
        return;
    }
    ranges.emplace_back(start, end);
}

// The image as The Sleuth Kit reads it: its own header first, then the source.
struct image_info {
    TSK_IMG_INFO info;
    byte_source* source;
};

ssize_t read_image(TSK_IMG_INFO* info, TSK_OFF_T offset, char* buffer, size_t length) {
    byte_source& source = *reinterpret_cast<image_info*>(info)->source;
    if (offset < 0) return -1;
    read_outcome got = source.read(uint64_t(offset), buffer, length);
    if (got.count == 0 && got.error != 0) return -1;
    return ssize_t(got.count);
}

void close_image(TSK_IMG_INFO* info) {
    tsk_img_free(info);
}

void describe_image(TSK_IMG_INFO*, FILE*) {}

std::string tsk_error_text() {
    const char* text = tsk_error_get();
    std::string said = text ? text : "";
    tsk_error_reset();
    while (!said.empty() && (said.back() == '\n' || said.back() == ' ')) said.pop_back();
    return said;
}

std::optional<file_time> time_of(time_t seconds, uint32_t nanoseconds) {
    if (seconds == 0 && nanoseconds == 0) return std::nullopt;  // not kept
    return file_time{int64_t(seconds), nanoseconds};
}

// One file system's walk: the files wanted, each once.
struct walk {
    TSK_FS_INFO* fs;
    std::string partition;
    const std::function<bool(std::string_view)>* wanted;
    file_system_survey* survey;
    std::set<uint64_t> seen;  // metadata addresses taken
};

// The runs of a file's data, clipped to its size; false when its metadata names none.
bool take_runs(TSK_FS_INFO* fs, const TSK_FS_ATTR* data, found_file& found) {
    if (data->flags & TSK_FS_ATTR_RES) {
        if (data->rd.buf == nullptr) return false;
        size_t held = size_t(std::min<TSK_OFF_T>(data->size, TSK_OFF_T(data->rd.buf_size)));
        found.resident.assign(reinterpret_cast<const char*>(data->rd.buf), held);
        found.resident.resize(size_t(std::max<TSK_OFF_T>(data->size, 0)), '\0');
        return data->size > 0;
    }
    if (!(data->flags & TSK_FS_ATTR_NONRES)) return false;
    found.allocated_size = uint64_t(std::max<TSK_OFF_T>(data->nrd.allocsize, 0));
    uint64_t unit = fs->block_size;
    bool named = false;
    for (const TSK_FS_ATTR_RUN* run = data->nrd.run; run != nullptr; run = run->next) {
        if (run->flags & TSK_FS_ATTR_RUN_FLAG_FILLER) continue;  // not known where
        file_run taken;
        taken.offset = uint64_t(run->offset) * unit;
        if (taken.offset >= found.size) break;
        taken.length = std::min<uint64_t>(uint64_t(run->len) * unit, found.size - taken.offset);
        taken.sparse = (run->flags & TSK_FS_ATTR_RUN_FLAG_SPARSE) != 0;
        taken.image_offset = uint64_t(fs->offset) + uint64_t(run->addr) * unit;
        if (!taken.sparse) named = true;
        found.runs.push_back(taken);
    }
    std::sort(found.runs.begin(), found.runs.end(),
              [](const file_run& a, const file_run& b) { return a.offset < b.offset; });
    return named;
}

// The bytes of a deleted file whose clusters are allocated now, or lie past the file system.
void find_reused(TSK_FS_INFO* fs, found_file& found) {
    uint64_t unit = fs->block_size;
    for (const file_run& run : found.runs) {
        if (run.sparse) continue;
        uint64_t first = (run.image_offset - uint64_t(fs->offset)) / unit;
        for (uint64_t k = 0; k * unit < run.length; ++k) {
            TSK_DADDR_T block = first + k;
            bool reused = block > fs->last_block ||
                          (fs->block_getflags(fs, block) & TSK_FS_BLOCK_FLAG_ALLOC) != 0;
            if (!reused) continue;
            uint64_t start = run.offset + k * unit;
            add_range(found.reused, start, std::min(start + unit, run.offset + run.length));
        }
    }
    tsk_error_reset();
}

TSK_WALK_RET_ENUM visit(TSK_FS_FILE* file, const char* parent, void* context) {
    walk& w = *static_cast<walk*>(context);
    const TSK_FS_NAME* name = file->name;
    const TSK_FS_META* meta = file->meta;
    if (name == nullptr || meta == nullptr || name->name == nullptr) return TSK_WALK_CONT;
    if (TSK_FS_ISDOT(name->name) || meta->type != TSK_FS_META_TYPE_REG) return TSK_WALK_CONT;
    if (!(*w.wanted)(name->name)) return TSK_WALK_CONT;
    bool name_free = (name->flags & TSK_FS_NAME_FLAG_UNALLOC) != 0;
    bool meta_free = (meta->flags & TSK_FS_META_FLAG_UNALLOC) != 0;
    // A deleted name whose metadata another file uses now, or used since, names its bytes.
    if (name_free && !meta_free) return TSK_WALK_CONT;
    if (name_free && TSK_FS_TYPE_ISNTFS(w.fs->ftype) && name->meta_seq != meta->seq)
        return TSK_WALK_CONT;
    if (!w.seen.insert(uint64_t(meta->addr)).second) return TSK_WALK_CONT;

    found_file found;
    found.partition = w.partition;
    std::string path = parent ? parent : "";
    while (!path.empty() && path.front() == '/') path.erase(0, 1);
    if (!path.empty() && path.back() != '/') path += '/';
    found.path = path + name->name;
    found.meta_address = uint64_t(meta->addr);
    found.size = uint64_t(std::max<TSK_OFF_T>(meta->size, 0));
    found.deleted = meta_free;
    found.modified = time_of(meta->mtime, meta->mtime_nano);
    found.accessed = time_of(meta->atime, meta->atime_nano);
    found.changed = time_of(meta->ctime, meta->ctime_nano);
    found.created = time_of(meta->crtime, meta->crtime_nano);
    const TSK_FS_ATTR* data = found.size > 0 ? tsk_fs_file_attr_get(file) : nullptr;
    if (data == nullptr || !take_runs(w.fs, data, found)) {
        tsk_error_reset();
        if (!found.deleted && found.size > 0)
            w.survey->notes.push_back(w.partition + "/" + found.path +
                                      ": the file system names no bytes of it");
        return TSK_WALK_CONT;  // a deleted file's clusters are carved
    }
    if (found.deleted) find_reused(w.fs, found);
    // The bytes read as the file, less those now another's.
    size_t reused = 0;
    for (const file_run& run : found.runs) {
        if (run.sparse) continue;
        for (uint64_t at = run.offset; at < run.offset + run.length;) {
            while (reused < found.reused.size() && found.reused[reused].second <= at) ++reused;
            uint64_t end = run.offset + run.length;
            if (reused < found.reused.size() && found.reused[reused].first <= at) {
                at = std::min(end, found.reused[reused].second);
                continue;
            }
            if (reused < found.reused.size()) end = std::min(end, found.reused[reused].first);
            w.survey->read.emplace_back(run.image_offset + (at - run.offset),
                                        run.image_offset + (end - run.offset));
            at = end;
        }
    }
    w.survey->files.push_back(std::move(found));
    return TSK_WALK_CONT;
}

void walk_file_system(TSK_FS_INFO* fs, const std::string& partition,
                      const std::function<bool(std::string_view)>& wanted,
                      file_system_survey& survey) {
    walk w{fs, partition, &wanted, &survey, {}};
    int flags =
        TSK_FS_DIR_WALK_FLAG_ALLOC | TSK_FS_DIR_WALK_FLAG_UNALLOC | TSK_FS_DIR_WALK_FLAG_RECURSE;
    if (tsk_fs_dir_walk(fs, fs->root_inum, TSK_FS_DIR_WALK_FLAG_ENUM(flags), visit, &w) != 0)
        survey.notes.push_back(partition + ": its folders could not all be read (" +
                               tsk_error_text() + ")");
    ++survey.file_systems;
}

std::string byte_span(uint64_t start, uint64_t length) {
    return "bytes " + std::to_string(start) + " to " + std::to_string(start + length - 1);
}

}  // namespace

bool file_systems_readable() {
    return true;
}

file_system_survey survey_file_systems(byte_source& image,
                                       const std::function<bool(std::string_view)>& wanted) {
    file_system_survey survey;
    if (image.size() < 512) return survey;
    auto* info = static_cast<image_info*>(tsk_img_malloc(sizeof(image_info)));
    if (info == nullptr) {
        survey.notes.push_back("its file systems could not be read: " + tsk_error_text());
        return survey;
    }
    info->source = &image;
    TSK_IMG_INFO* img = tsk_img_open_external(info, TSK_OFF_T(image.size()), 512, read_image,
                                              close_image, describe_image);
    if (img == nullptr) {
        survey.notes.push_back("its file systems could not be read: " + tsk_error_text());
        tsk_img_free(info);
        return survey;
    }
    if (TSK_VS_INFO* vs = tsk_vs_open(img, 0, TSK_VS_TYPE_DETECT)) {
        int number = 0;
        for (TSK_PNUM_T k = 0; k < vs->part_count; ++k) {
            const TSK_VS_PART_INFO* part = tsk_vs_part_get(vs, k);
            if (part == nullptr || !(part->flags & TSK_VS_PART_FLAG_ALLOC)) continue;
            std::string name = "p" + std::to_string(++number);
            uint64_t start = uint64_t(part->start) * vs->block_size,
                     length = uint64_t(part->len) * vs->block_size;
            TSK_FS_INFO* fs = tsk_fs_open_img(img, TSK_OFF_T(start), TSK_FS_TYPE_DETECT);
            if (fs == nullptr) {
                survey.notes.push_back("partition " + name + " (" + byte_span(start, length) +
                                       ") holds no file system that can be read (" +
                                       tsk_error_text() + "): its bytes are carved");
                continue;
            }
            walk_file_system(fs, name, wanted, survey);
            tsk_fs_close(fs);
        }
        tsk_vs_close(vs);
    } else {
        tsk_error_reset();
        if (TSK_FS_INFO* fs = tsk_fs_open_img(img, 0, TSK_FS_TYPE_DETECT)) {
            walk_file_system(fs, "p0", wanted, survey);
            tsk_fs_close(fs);
        } else {
            tsk_error_reset();
            survey.notes.push_back(
                "no partition table or file system was found in it: the whole image is carved");
        }
    }
    tsk_img_close(img);
    std::sort(survey.read.begin(), survey.read.end());
    std::vector<byte_range> merged;
    for (const byte_range& range : survey.read) add_range(merged, range.first, range.second);
    survey.read = std::move(merged);
    return survey;
}

#else

bool file_systems_readable() {
    return false;
}

file_system_survey survey_file_systems(byte_source&, const std::function<bool(std::string_view)>&) {
    file_system_survey survey;
    static std::atomic<bool> said{false};  // once, however many images are carved
    if (!said.exchange(true))
        survey.notes.push_back(
            "this build reads no file systems: the whole image is carved, and stores are named by "
            "where they start");
    return survey;
}

#endif

}  // namespace platform
