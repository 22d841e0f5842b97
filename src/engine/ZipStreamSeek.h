#pragma once

// The seek of the file layers we give minizip (the archive writer's buffered output and
// the reader's pread input): both keep their position in memory.

#include <minizip/ioapi.h>

#include <QtGlobal>

namespace corvane {

// Moves `position` as minizip's seek call asks; `end` is the file's size. Answers 0, or
// -1 for an unknown origin.
inline long SeekZipStream(quint64& position, quint64 end, ZPOS64_T offset, int origin) {
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_SET:
            position = offset;
            return 0;
        case ZLIB_FILEFUNC_SEEK_CUR:
            position += offset;
            return 0;
        case ZLIB_FILEFUNC_SEEK_END:
            position = end + offset;
            return 0;
        default:
            return -1;
    }
}

}  // namespace corvane
