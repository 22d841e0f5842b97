#include "engine/FolderLookup.h"

#include <fcntl.h>
#include <algorithm>
#include <cstring>
#include <iterator>

namespace corvane {

bool FolderLookup::LookUp(const QByteArray& path, int flags, struct statx& info) {
    constexpr unsigned kFields = STATX_TYPE | STATX_SIZE | STATX_MTIME;
    const char* name = nullptr;
    const int folder = FolderOf(path, name);
    return folder != -1 && ::statx(folder, name, flags, kFields, &info) == 0 &&
           (info.stx_mask & kFields) == kFields;
}

int FolderLookup::FolderOf(const QByteArray& path, const char*& name) {
    const char* slash =
        static_cast<const char*>(::memrchr(path.constData(), '/', size_t(path.size())));
    if (slash == nullptr) {
        name = path.constData();
        return AT_FDCWD;
    }
    name = slash + 1;
    const QByteArrayView folder =
        slash == path.constData() ? QByteArrayView("/") : QByteArrayView(path.constData(), slash);
    auto found = std::find_if(m_open.begin(), m_open.end(),
                              [&](const OpenFolder& open) { return open.path == folder; });
    if (found == m_open.end()) {
        if (m_open.size() == kKept) {
            m_open.pop_back();
        }
        auto& opened = m_open.emplace_back();
        opened.path = folder.toByteArray();
        opened.fd.Reset(::open(opened.path.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        found = std::prev(m_open.end());
    }
    // The most recent first, so that the one left out next is the oldest.
    m_open.splice(m_open.begin(), m_open, found);
    return m_open.front().fd.Get();
}

}  // namespace corvane
