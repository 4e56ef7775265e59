#include "base/bufstream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "base/filelayer.h"

namespace {

bool IsMemory(const BufStream* s) {
    return s->fd == kMemoryStream;
}

// Makes at least one unread byte available; false at the end of the data.
bool Fill(BufStream* s) {
    if (s->index < s->filled) return true;
    if (s->atEnd || s->write) return false;
    if (IsMemory(s)) {
        s->atEnd = 1;
        return false;
    }
    ssize_t n;
    do {
        n = FileRead(s->fd, s->buffer, s->bufferSize);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        s->atEnd = 1;
        return false;
    }
    s->filled = static_cast<size_t>(n);
    s->index = 0;
    return true;
}

int Peek(BufStream* s) {
    return Fill(s) ? s->buffer[s->index] : -1;
}

void Skip(BufStream* s) {
    ++s->index;
    ++s->position;
}

// Writes the pending bytes; a short or failed write marks the stream.
bool Flush(BufStream* s) {
    size_t done = 0;
    while (done < s->index) {
        ssize_t n = FileWrite(s->fd, s->buffer + done, s->index - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            s->writeFailed = 1;
            s->index = 0;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    s->index = 0;
    return true;
}

} // namespace

BufStream* StreamOpen(const char* path, int write, void* buffer, size_t size) {
    std::unique_ptr<BufStream> s(new (std::nothrow) BufStream());
    if (!s) return nullptr;
    if (buffer && size) {
        s->buffer = static_cast<unsigned char*>(buffer);
        s->bufferSize = size;
        s->callerBuffer = 1;
    } else {
        s->ownBuffer.reset(new (std::nothrow) unsigned char[kStreamBufferSize]);
        if (!s->ownBuffer) return nullptr;
        s->buffer = s->ownBuffer.get();
        s->bufferSize = kStreamBufferSize;
    }
    s->write = write ? 1 : 0;
    if (s->write) {
        s->fd = FileOpen(path, O_CREAT | O_TRUNC | O_RDWR, 0);
    } else if (s->callerBuffer) {
        s->fd = kMemoryStream;
        s->filled = size;
    } else {
        s->fd = FileOpen(path, O_RDONLY, 0);
    }
    if (s->fd == -1) return nullptr;
    return s.release();
}

int StreamClose(BufStream* stream) {
    if (!stream) return -1;
    int result = 0;
    if (stream->write && !Flush(stream)) result = -1;
    if (stream->writeFailed) result = -1;
    if (!IsMemory(stream) && FileClose(stream->fd) != 0 && stream->write) result = -1;
    delete stream;
    return result;
}

int StreamGetByte(BufStream* stream) {
    if (!stream || !Fill(stream)) return -1;
    int c = stream->buffer[stream->index];
    Skip(stream);
    return c;
}

int StreamPeekByte(BufStream* stream) {
    return stream ? Peek(stream) : -1;
}

size_t StreamRead(BufStream* stream, void* buf, size_t n) {
    if (!stream || !buf) return 0;
    auto* out = static_cast<unsigned char*>(buf);
    size_t done = 0;
    while (done < n && Fill(stream)) {
        size_t chunk = stream->filled - stream->index;
        if (chunk > n - done) chunk = n - done;
        std::memcpy(out + done, stream->buffer + stream->index, chunk);
        stream->index += chunk;
        stream->position += static_cast<int64_t>(chunk);
        done += chunk;
    }
    return done;
}

size_t StreamReadLine(BufStream* stream, char* buf, size_t max) {
    if (!buf) return 0;
    size_t count = 0;
    while (count < max) {
        int c = StreamGetByte(stream);
        if (c < 0) break;
        buf[count++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    buf[count] = '\0';
    return count;
}

size_t StreamReadTrimmedLine(BufStream* stream, char* buf, size_t max) {
    if (!buf) return 0;
    size_t count = 0;
    if (stream) {
        for (int c = Peek(stream); c == '\n' || c == '\r'; c = Peek(stream)) Skip(stream);
        while (count < max) {
            int c = Peek(stream);
            if (c < 0) break;
            Skip(stream);
            if (c == '\n' || c == '\r') break;
            buf[count++] = static_cast<char>(c);
        }
    }
    buf[count] = '\0';
    return count;
}

int64_t StreamWrite(BufStream* stream, const void* data, size_t n) {
    if (!stream || !stream->write || (!data && n)) return -1;
    auto* in = static_cast<const unsigned char*>(data);
    size_t done = 0;
    while (done < n) {
        size_t chunk = stream->bufferSize - stream->index;
        if (chunk > n - done) chunk = n - done;
        std::memcpy(stream->buffer + stream->index, in + done, chunk);
        stream->index += chunk;
        stream->position += static_cast<int64_t>(chunk);
        done += chunk;
        if (stream->index == stream->bufferSize) Flush(stream);
    }
    return stream->writeFailed ? -1 : static_cast<int64_t>(n);
}

int64_t StreamSeek(BufStream* stream, int64_t pos) {
    if (!stream || stream->write || pos < 0) return -1;
    if (IsMemory(stream)) {
        if (static_cast<uint64_t>(pos) > stream->filled) return -1;
        stream->index = static_cast<size_t>(pos);
    } else {
        if (FileSeek(stream->fd, static_cast<off_t>(pos), SEEK_SET) < 0) return -1;
        stream->index = stream->filled = 0;
    }
    stream->position = pos;
    stream->atEnd = 0;
    return pos;
}

int64_t StreamSize(BufStream* stream) {
    if (!stream) return -1;
    if (IsMemory(stream)) return static_cast<int64_t>(stream->filled);
    // The descriptor stands past the bytes already buffered: put it back
    // exactly there, or the next refill would repeat or skip bytes.
    off_t here = FileSeek(stream->fd, 0, SEEK_CUR);
    if (here < 0) return -1;
    off_t end = FileSeek(stream->fd, 0, SEEK_END);
    if (FileSeek(stream->fd, here, SEEK_SET) < 0 || end < 0) return -1;
    return static_cast<int64_t>(end) + (stream->write ? static_cast<int64_t>(stream->index) : 0);
}
