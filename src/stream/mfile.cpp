#include "stream/mfile.h"

#include "os/file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace hsc {
namespace {

constexpr std::int64_t FIRST_STEP = 1024;
constexpr std::int64_t LARGE_CAPACITY = 104857600;  // 100 MiB: from here growth is linear
constexpr std::int64_t LARGE_STEP = 10485760;       // 10 MiB

Mfile* find_live(const MfileRegistry& reg, std::string_view name) {
    for (const auto& f : reg.slots)
        if (f->state != MFILE_REMOVED && f->name == name) return f.get();
    return nullptr;
}

Mfile* find_any(const MfileRegistry& reg, std::string_view name) {
    for (const auto& f : reg.slots)
        if (f->name == name) return f.get();
    return nullptr;
}

std::unique_ptr<std::uint8_t[]> allocate(std::int64_t bytes) {
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[std::max<std::int64_t>(bytes, 1)]);
}

void set_error(Mfile* f, MfileError error) {
    if (f->last_error) *f->last_error = error;
}

// Grows the buffer so that size more bytes fit at the position (the growth rule).
bool grow(Mfile* f, std::int64_t size) {
    if (f->capacity >= LARGE_CAPACITY)
        f->step = LARGE_STEP;
    else
        f->step *= f->multiplier;
    std::int64_t need = f->capacity + size - f->position;  // added must reach this
    std::int64_t added = need <= 0 ? 0 : (need + f->step - 1) / f->step * f->step;
    if (f->capacity + added > MFILE_MAX_LENGTH) return false;
    auto bigger = allocate(f->capacity + added);
    if (!bigger) return false;
    if (f->capacity > 0) std::memcpy(bigger.get(), f->buffer.get(), static_cast<std::size_t>(f->capacity));
    f->buffer = std::move(bigger);
    f->capacity += added;
    if (added > 0) f->step = added;
    return true;
}

}  // namespace

Mfile* mopen(MfileRegistry& reg, std::string_view name, std::string_view mode) {
    reg.last_error = {};
    const bool reading = mode == "rb" || mode == "ab";
    const bool writing = mode == "wb";
    if ((!reading && !writing) || name.empty() || name.size() > MFILE_MAX_NAME) return nullptr;

    if (reading) {
        if (Mfile* f = find_live(reg, name)) {
            f->position = 0;
            f->state = MFILE_OPEN;
            return f;
        }
        // A part the package does not hold is missing, whatever files the current
        // folder holds: nothing here reads the disk.
        reg.last_error = {MfileStep::missing, Status::not_found};
        return nullptr;
    }

    Mfile* f = find_any(reg, name);
    std::unique_ptr<Mfile> fresh;
    if (!f) {
        if (reg.slots.size() >= static_cast<std::size_t>(MFILE_MAX_OPEN_FILES)) {
            reg.last_error = {MfileStep::count, Status::size_limit};
            return nullptr;
        }
        fresh = std::make_unique<Mfile>();
        fresh->name = name;
        fresh->last_error = &reg.last_error;
        f = fresh.get();
    }
    f->position = 0;
    std::vector<std::uint8_t>().swap(f->deflated);  // truncated: no longer the entry it was
    f->deflated_only = false;
    f->buffer = allocate(FIRST_STEP);
    if (!f->buffer) {
        reg.last_error = {MfileStep::allocate, Status::no_memory};
        f->capacity = f->length = 0;
        return nullptr;
    }
    f->step = FIRST_STEP;
    f->capacity = FIRST_STEP;
    f->multiplier = 2;
    f->length = 0;
    f->state = MFILE_OPEN;
    if (fresh) reg.slots.push_back(std::move(fresh));
    return f;
}

std::size_t mread(void* dst, std::size_t size, std::size_t count, Mfile* f) {
    if (f && f->deflated_only) {
        set_error(f, {MfileStep::read_stored, Status::short_read});
        return 0;
    }
    if (!f || f->position < 0 || f->position >= f->length) return 0;
    std::uint64_t want = static_cast<std::uint64_t>(size) * count;
    std::uint64_t avail = static_cast<std::uint64_t>(f->length - f->position);
    std::size_t n = static_cast<std::size_t>(std::min(want, avail));
    if (n > 0) std::memcpy(dst, f->buffer.get() + f->position, n);
    f->position += static_cast<std::int64_t>(n);
    return n;
}

std::size_t mwrite(const void* src, std::size_t size, std::size_t count, Mfile* f) {
    if (!f || f->position < 0) return 0;
    if (f->deflated_only) {  // appending to content that was never inflated
        f->state = MFILE_WRITE_FAILED;
        set_error(f, {MfileStep::write_stored, Status::short_write});
        return 0;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(src);
    if (size > static_cast<std::size_t>(MFILE_MAX_LENGTH) ||
        count > static_cast<std::size_t>(MFILE_MAX_LENGTH) / std::max<std::size_t>(size, 1)) {
        f->state = MFILE_WRITE_FAILED;
        set_error(f, {MfileStep::grow, Status::no_memory});
        return 0;
    }
    const auto item = static_cast<std::int64_t>(size);
    // Grow before copying anything, so that a failed growth writes nothing at all. The
    // growth test runs item by item; jump straight to the next item that triggers it.
    std::int64_t i = 0;
    const auto items = static_cast<std::int64_t>(count);
    while (i < items) {
        // first item j >= i with position + j * item + item >= capacity - 1
        std::int64_t room = f->capacity - 1 - item - f->position;
        std::int64_t j = room <= 0 ? 0 : (item == 0 ? items : (room + item - 1) / item);
        j = std::max(j, i);
        if (j >= items) break;
        std::int64_t saved_pos = f->position;
        f->position += item * j;
        bool ok = grow(f, item);
        f->position = saved_pos;
        if (!ok) {
            f->state = MFILE_WRITE_FAILED;
            set_error(f, {MfileStep::grow, Status::no_memory});
            return 0;
        }
        i = j + 1;
    }
    std::size_t n = size * count;
    if (n > 0 && !f->deflated.empty()) std::vector<std::uint8_t>().swap(f->deflated);  // changed from here on
    if (n > 0) std::memcpy(f->buffer.get() + f->position, bytes, n);
    f->position += static_cast<std::int64_t>(n);
    f->length = std::max(f->length, f->position);
    return count;
}

Status mreserve(Mfile* f, std::int64_t length) {
    if (!f || length < 0 || f->deflated_only) return Status::size_limit;
    // Growth starts once a write reaches capacity - 1, so two more bytes keep it away.
    const std::int64_t want = length + 2;
    if (want <= f->capacity) return Status::ok;
    if (want > MFILE_MAX_LENGTH) return Status::size_limit;
    auto bigger = allocate(want);
    if (!bigger) return Status::no_memory;
    if (f->length > 0) std::memcpy(bigger.get(), f->buffer.get(), static_cast<std::size_t>(f->length));
    f->buffer = std::move(bigger);
    f->capacity = want;
    return Status::ok;
}

Status mseek(Mfile* f, std::int64_t offset, int origin) {
    if (!f) return Status::seek_failed;
    std::int64_t base;
    switch (origin) {
        case 0: base = 0; break;
        case 1: base = f->position; break;
        case 2: base = f->length; break;
        default: return Status::bad_origin;
    }
    std::int64_t target = base + offset;
    if (target < 0 || target > f->capacity) return Status::seek_failed;
    f->position = target;
    return Status::ok;
}

std::int64_t mtell(const Mfile* f) {
    if (!f || f->position < 0 || f->position > f->capacity) return -1;
    return f->position;
}

bool meof(const Mfile* f) { return !f || f->position >= f->length; }

void mclose(Mfile* f) {
    if (!f) return;
    f->state = MFILE_CLOSED;
    f->position = 0;
    f->step = 2;
}

void mremove(MfileRegistry& reg, std::string_view name) {
    if (name.empty()) return;
    if (Mfile* f = find_any(reg, name)) {
        f->buffer.reset();
        std::vector<std::uint8_t>().swap(f->deflated);
        f->capacity = f->length = f->position = 0;
        f->deflated_only = false;
        f->name.clear();
        f->state = MFILE_REMOVED;
    }
}

Status mmove(MfileRegistry& reg, std::string_view from, std::string_view to) {
    if (from == to) return Status::ok;
    Mfile* source = from.empty() ? nullptr : find_live(reg, from);
    if (!source || source->deflated_only) return Status::not_found;
    Mfile* target = mopen(reg, to, "wb");  // created in its place, or emptied where it stands
    if (!target) return Status::no_memory;
    std::swap(target->buffer, source->buffer);
    std::swap(target->capacity, source->capacity);
    target->length = source->length;
    target->position = 0;
    mclose(target);
    mremove(reg, from);
    return Status::ok;
}

void mfree_all(MfileRegistry& reg) {
    reg.slots.clear();
    reg.refusal = {};
    reg.os_error = 0;
    reg.layout = {};
    reg.archive_comment.clear();
}

int mcount(const MfileRegistry& reg) { return static_cast<int>(reg.slots.size()); }

void mlist(const MfileRegistry& reg, std::vector<std::string>& names) {
    names.clear();
    for (const auto& f : reg.slots)
        if (f->state != MFILE_REMOVED) names.push_back(f->name);
}

std::int64_t msize(const MfileRegistry& reg, std::string_view name) {
    const Mfile* f = name.empty() ? nullptr : find_any(reg, name);
    return f ? f->length : 0;
}

std::string merror(const MfileRegistry& reg) {
    switch (reg.last_error.step) {
        case MfileStep::none: return {};
        case MfileStep::missing: return "mopen() no stream of that name";
        case MfileStep::count: return "mopen() Mfile_ct >= MFILE_MAX_OPEN_FILES";
        case MfileStep::allocate: return "mopen() malloc()";
        case MfileStep::grow: return "mwrite() malloc()";
        case MfileStep::read_stored: return "mread() deflated only";
        case MfileStep::write_stored: return "mwrite() deflated only";
    }
    return {};
}

Status mchange(MfileRegistry& reg, std::string_view name, const std::function<bool(std::span<std::uint8_t>)>& change,
               std::vector<std::uint8_t>* taken) {
    Mfile* f = find_live(reg, name);
    if (!f || f->deflated_only) return Status::not_found;
    if (!change({f->buffer.get(), static_cast<std::size_t>(f->length)})) return Status::ok;
    std::vector<std::uint8_t> deflated;
    deflated.swap(f->deflated);
    if (taken) *taken = std::move(deflated);
    return Status::ok;
}

Status mfill(Mfile* f, std::int64_t length, const std::function<void(std::span<std::uint8_t>)>& fill) {
    if (!f || f->deflated_only || f->length != 0) return Status::size_limit;
    if (const Status st = mreserve(f, length); st != Status::ok) return st;
    fill({f->buffer.get(), static_cast<std::size_t>(length)});
    f->length = f->position = length;
    return Status::ok;
}

std::span<const std::uint8_t> mdata(const Mfile* f) {
    if (!f || !f->buffer) return {};
    return {f->buffer.get(), static_cast<std::size_t>(f->length)};
}

void mkeep_deflated(Mfile* f, std::vector<std::uint8_t> deflated, std::uint32_t crc) {
    if (!f) return;
    f->deflated = std::move(deflated);
    f->crc = crc;
}

void mkeep_deflated_only(Mfile* f, std::vector<std::uint8_t> deflated, std::uint32_t crc, std::int64_t length) {
    if (!f) return;
    f->buffer.reset();
    f->capacity = f->position = 0;
    f->length = length;
    f->deflated = std::move(deflated);
    f->crc = crc;
    f->deflated_only = true;
}

bool mdrop_plain(Mfile* f) {
    if (!f || f->deflated_only || f->deflated.empty()) return false;
    mkeep_deflated_only(f, std::move(f->deflated), f->crc, f->length);
    return true;
}

std::span<const std::uint8_t> mdeflated(const Mfile* f) {
    if (!f) return {};
    return {f->deflated.data(), f->deflated.size()};
}

bool mwrite_all(Mfile* f, std::string_view bytes) {
    if (bytes.empty()) return true;
    return mwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
}

Status write_whole_file(MfileRegistry& reg, std::string_view name, std::string_view bytes) {
    Mfile* f = mopen(reg, name, "wb");
    if (!f) return Status::open_failed;
    const bool ok = mwrite_all(f, bytes);
    mclose(f);
    return ok ? Status::ok : Status::short_write;
}

Status aod_fsze(const std::filesystem::path& path, std::int64_t& size) {
    const int fd = os::open(path, os::Access::read);
    if (fd < 0) return Status::open_failed;
    os::FileStatus st;
    const int rc = os::status(fd, st);
    os::close(fd);
    if (rc != 0 || !st.regular) return Status::not_a_file;
    size = st.size;
    return Status::ok;
}

Status read_whole_file(MfileRegistry& reg, int mode, std::string_view name, std::string& out) {
    if (mode != 0) return Status::open_failed;  // only streams are read this way
    Mfile* f = mopen(reg, name, "rb");
    if (!f) return Status::open_failed;
    if (f->deflated_only) {  // only its stored bytes are kept: reading it is a fault
        mclose(f);
        return Status::short_read;
    }
    std::string text;
    char chunk[4096];
    try {
        text.reserve(static_cast<std::size_t>(f->length));  // one allocation, not a doubling per step
        while (std::size_t n = mread(chunk, 1, sizeof chunk, f)) text.append(chunk, n);
    } catch (const std::bad_alloc&) {
        mclose(f);
        return Status::no_memory;
    }
    mclose(f);
    out = std::move(text);
    return Status::ok;
}

}  // namespace hsc
