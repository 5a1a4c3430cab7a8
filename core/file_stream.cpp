// The GameFile stream: byte, line and block reads through one byte of
// lookahead, the gzip decompressor behind ".gz" files, seeking, the plain
// writes, opening and closing handles, and reading a whole file to a string.
#include "core/file.h"

#include "core/alloc.h"
#include "core/game_file.h"
#include "platform/log.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <libdeflate.h>
#include <sys/stat.h>

enum {
    GZIP_FLAG_HEADER_CHECK = 2,
    GZIP_FLAG_EXTRA = 4,
    GZIP_FLAG_NAME = 8,
    GZIP_FLAG_COMMENT = 16,
    GZIP_FLAGS_KNOWN = 32,          // flags at or above this are reserved bits
    WHOLE_FILE_MAX = 16777216,      // file_to_string refuses a file this long
    WHOLE_MEMBER_MAX = 268435456,   // file_inflate_whole leaves larger members to the stream
    GZIP_TRAILER_SIZE = 8,          // CRC-32 and length, little-endian
};

void init_game_file(GameFile *file, FILE *stream, int32_t base_offset, uint32_t size_limit)
{
    file->stream = stream;
    file->base_offset = base_offset;
    file->size_limit = size_limit;
    file->position = 0;
    file->pushed_back = -1;
    file->gzip = 0;
    file->compressed_size_limit = 0;
    file->compressed_read = 0;
    file->end_of_stream = 0;
    file->output_read = file->output;
    file->whole = nullptr;
    file->write_error = 0;
}

static void rewind_output(GameFile *file)
{
    file->inflater.next_out = file->output;
    file->inflater.avail_out = GZIP_OUTPUT_SIZE;
    file->output_read = file->output;
}

// Next block of compressed bytes, never past the compressed size limit.
static void refill_input(GameFile *file)
{
    uint32_t left = (uint32_t)(file->compressed_size_limit - file->compressed_read);
    size_t want = left < (uint32_t)GZIP_INPUT_SIZE ? left : (size_t)GZIP_INPUT_SIZE;
    size_t got = want ? fread(file->input, 1, want, file->stream) : 0;
    file->compressed_read += (int32_t)got;
    file->inflater.next_in = file->input;
    file->inflater.avail_in = (uInt)got;
}

// Length of the gzip header at the start of the bytes read, or 0 when it is
// bad: magic, method 8, no reserved flag, six bytes of time, extra flags and
// system, then the optional fields, all within the bytes present.
static size_t parse_gzip_header(const unsigned char *header, size_t got)
{
    if (got < 10 || header[0] != 0x1f || header[1] != 0x8b || header[2] != 8 || header[3] >= GZIP_FLAGS_KNOWN)
        return 0;
    int flags = header[3];
    size_t at = 10;
    if (flags & GZIP_FLAG_EXTRA) {
        if (at + 2 > got)
            return 0;
        at += 2 + (header[at] | (size_t)header[at + 1] << 8);
        if (at > got)
            return 0;
    }
    const int text_fields[] = {GZIP_FLAG_NAME, GZIP_FLAG_COMMENT};
    for (int field : text_fields) {
        if (!(flags & field))
            continue;
        const void *end = memchr(header + at, 0, got - at);
        if (!end)
            return 0;
        at = (size_t)((const unsigned char *)end - header) + 1;
    }
    if (flags & GZIP_FLAG_HEADER_CHECK) {
        at += 2;
        if (at > got)
            return 0;
    }
    return at;
}

int start_gzip_stream(GameFile *file)
{
    file->compressed_size_limit = (int32_t)file->size_limit;
    file->size_limit = LOOSE_FILE_LIMIT;
    file->compressed_read = 0;
    file->end_of_stream = 0;
    memset(&file->inflater, 0, sizeof file->inflater);
    rewind_output(file);
    refill_input(file);
    size_t got = file->inflater.avail_in;
    size_t header_length = parse_gzip_header(file->input, got);
    if (!header_length)
        return 0;
    file->inflater.next_in = file->input + header_length;
    file->inflater.avail_in = (uInt)(got - header_length);
    if (inflateInit2(&file->inflater, -15) != Z_OK)
        return 0;
    file->gzip = 1;
    return 1;
}

int inflate_read(GameFile *file, void *buffer, int n)
{
    unsigned char *out = (unsigned char *)buffer;
    int copied = 0;
    z_stream *z = &file->inflater;
    for (;;) {
        int held = (int)(z->next_out - file->output_read);
        int take = held < n - copied ? held : n - copied;
        if (take > 0) {
            memcpy(out + copied, file->output_read, take);
            file->output_read += take;
            copied += take;
        }
        if (copied == n || file->end_of_stream)
            return copied;
        // The window is drained here: a large rest inflates straight into the
        // caller's buffer, sparing the copy through the window.
        if (n - copied >= GZIP_OUTPUT_SIZE) {
            z->next_out = out + copied;
            z->avail_out = (uInt)(n - copied);
            int result;
            do {
                if (z->avail_in == 0)
                    refill_input(file);
                result = inflate(z, Z_NO_FLUSH);
            } while (result == Z_OK && z->avail_out > 0);
            copied = n - (int)z->avail_out;
            rewind_output(file);
            if (result != Z_OK)
                file->end_of_stream = 1;
            continue;
        }
        if (z->avail_out == 0)
            rewind_output(file);
        // Decompress while inflate makes progress and the window has room.
        // Corrupt or truncated data ends the stream: what came out so far is
        // delivered and every later read reports the end.
        int result;
        do {
            if (z->avail_in == 0)
                refill_input(file);
            result = inflate(z, Z_NO_FLUSH);
        } while (result == Z_OK && z->avail_out > 0);
        if (result != Z_OK)
            file->end_of_stream = 1;
    }
}

static uint32_t read_le32(const unsigned char *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

// The compressed bytes the stream has not taken yet, without moving it
// (the file position is put back); null when there are too many or a read
// fails.
static unsigned char *read_compressed_rest(GameFile *file, size_t *size)
{
    off_t at = ftello(file->stream);
    struct stat status;
    if (at < 0 || fstat(fileno(file->stream), &status) != 0)
        return nullptr;
    int64_t rest = (int64_t)file->compressed_size_limit - file->compressed_read;
    int64_t on_disk = status.st_size > at ? (int64_t)(status.st_size - at) : 0;
    if (on_disk < rest)
        rest = on_disk;
    int64_t total = rest + file->inflater.avail_in;
    if (rest < 0 || total > WHOLE_MEMBER_MAX)
        return nullptr;
    unsigned char *bytes = (unsigned char *)checked_malloc((size_t)total + 1);
    if (!bytes)
        return nullptr;
    memcpy(bytes, file->inflater.next_in, file->inflater.avail_in);
    size_t got = fread(bytes + file->inflater.avail_in, 1, (size_t)rest, file->stream);
    if (fseeko(file->stream, at, SEEK_SET) != 0 || got != (size_t)rest) {
        checked_free(bytes);
        return nullptr;
    }
    *size = (size_t)total;
    return bytes;
}

int file_inflate_whole(GameFile *file)
{
    if (!file || !file->gzip || file->whole || file->end_of_stream || file->position != 0 ||
        file->pushed_back >= 0 || file->inflater.total_in != 0)
        return 0;
    size_t size;
    unsigned char *in = read_compressed_rest(file, &size);
    if (!in)
        return 0;
    // The member's length from its trailer, taking it to end the input;
    // checked below against the trailer that follows the data.
    uint32_t expected = size >= GZIP_TRAILER_SIZE ? read_le32(in + size - 4) : 0;
    unsigned char *out = nullptr;
    // A length beyond what the compressed bytes can inflate to (at most 1032
    // bytes each) is refused before anything is allocated for it.
    if (size >= GZIP_TRAILER_SIZE && expected <= WHOLE_MEMBER_MAX &&
        (uint64_t)expected <= (uint64_t)size * 1032)
        out = (unsigned char *)checked_malloc_large((size_t)expected + 1);
    libdeflate_decompressor *decompressor = out ? libdeflate_alloc_decompressor() : nullptr;
    size_t used = 0, made = 0;
    int whole = decompressor &&
                libdeflate_deflate_decompress_ex(decompressor, in, size, out, expected, &used,
                                                 &made) == LIBDEFLATE_SUCCESS &&
                size - used >= GZIP_TRAILER_SIZE && made == expected &&
                read_le32(in + used + 4) == (uint32_t)made &&
                read_le32(in + used) == libdeflate_crc32(0, out, made);
    if (decompressor)
        libdeflate_free_decompressor(decompressor);
    checked_free(in);
    if (!whole) {
        // The stream goes on as it was and meets what the whole read did not
        // like in its own way.
        free_large_block(out);
        return 0;
    }
    file->whole = out;
    file->output_read = out;
    file->inflater.next_out = out + made;
    file->inflater.avail_out = 0;
    file->end_of_stream = 1;
    return 1;
}

// Bytes still allowed by the size limit.
static uint32_t bytes_left(const GameFile *file)
{
    return file->position < file->size_limit ? file->size_limit - file->position : 0;
}

int64_t file_bytes_bound(GameFile *file)
{
    int64_t pushed = file->pushed_back >= 0 ? 1 : 0;
    int64_t left = bytes_left(file);
    // What is left of the file on disk behind the stream position.
    int64_t on_disk = left;
    struct stat status;
    off_t at = ftello(file->stream);
    if (at >= 0 && fstat(fileno(file->stream), &status) == 0)
        on_disk = status.st_size > at ? (int64_t)(status.st_size - at) : 0;
    if (!file->gzip)
        return pushed + (on_disk < left ? on_disk : left);
    int64_t window = file->inflater.next_out - file->output_read;
    if (file->end_of_stream)
        return pushed + (window < left ? window : left);
    int64_t compressed = (int64_t)file->compressed_size_limit - file->compressed_read;
    if (on_disk < compressed)
        compressed = on_disk;
    compressed += file->inflater.avail_in;
    // Each compressed byte inflates to at most 1032 bytes, plus what inflate
    // may still hold back.
    int64_t most = window + (compressed + 8) * 1032 + 65536;
    return pushed + (most < left ? most : left);
}

int file_getc(GameFile *file)
{
    if (file->pushed_back >= 0) {
        int c = file->pushed_back;
        file->pushed_back = -1;
        return c;
    }
    if (!bytes_left(file))
        return -1;
    int c;
    if (file->gzip) {
        if (file->output_read < file->inflater.next_out) {
            c = *file->output_read++;
        } else {
            unsigned char byte;
            if (inflate_read(file, &byte, 1) != 1)
                return -1;
            c = byte;
        }
    } else {
        c = getc_unlocked(file->stream);
        if (c == EOF)
            return -1;
    }
    file->position++;
    return c;
}

int file_peekc(GameFile *file)
{
    int c = file_getc(file);
    file->pushed_back = c;
    return c;
}

char *file_gets(GameFile *file, char *buffer, int n)
{
    if (!buffer || n <= 0)
        return nullptr;
    int stored = 0;
    while (stored < n - 1) {
        int c = file_getc(file);
        if (c < 0) {
            if (stored == 0)
                return nullptr;
            break;
        }
        buffer[stored++] = (char)c;
        if (c == '\n')
            break;
    }
    buffer[stored] = '\0';
    return buffer;
}

int file_read(GameFile *file, void *buffer, int n)
{
    if (n <= 0)
        return 0;
    unsigned char *out = (unsigned char *)buffer;
    int count = 0;
    if (file->pushed_back >= 0) {
        out[count++] = (unsigned char)file->pushed_back;
        file->pushed_back = -1;
    }
    uint32_t left = bytes_left(file);
    int want = (uint32_t)(n - count) < left ? n - count : (int)left;
    if (want <= 0)
        return count;
    int got = file->gzip ? inflate_read(file, out + count, want)
                         : (int)fread(out + count, 1, (size_t)want, file->stream);
    file->position += (uint32_t)got;
    return count + got;
}

int file_seek(GameFile *file, int offset)
{
    if (file->gzip || offset < 0 || (uint32_t)offset >= file->size_limit)
        return 0;
    file->pushed_back = -1;
    if (fseeko(file->stream, (off_t)file->base_offset + offset, SEEK_SET) != 0)
        return 0;
    file->position = (uint32_t)offset;
    return 1;
}

// Keeps the first failure of a write, flush or close; errno when the C
// library set one, else EIO.
static void note_write_error(GameFile *file, int error)
{
    if (!file->write_error)
        file->write_error = error ? error : EIO;
}

// Once a write failed nothing more goes to the stream: what is there is
// already wrong, and the first error is the one reported.
static int stream_failed(GameFile *file)
{
    if (!file->write_error)
        return 0;
    errno = file->write_error;
    return 1;
}

int file_putc(GameFile *file, int byte)
{
    if (stream_failed(file))
        return 0;
    errno = 0;
    if (fputc(byte, file->stream) != EOF)
        return 1;
    note_write_error(file, errno);
    return 0;
}

int file_puts(GameFile *file, const char *text)
{
    if (stream_failed(file))
        return EOF;
    errno = 0;
    int result = fputs(text, file->stream);
    if (result == EOF)
        note_write_error(file, errno);
    return result;
}

int file_write(GameFile *file, const void *data, int n)
{
    if (n <= 0 || stream_failed(file))
        return 0;
    errno = 0;
    size_t written = fwrite(data, 1, (size_t)n, file->stream);
    if (written != (size_t)n)
        note_write_error(file, errno);
    return (int)written;
}

int file_printf(GameFile *file, const char *format, ...)
{
    if (stream_failed(file))
        return -1;
    va_list args;
    va_start(args, format);
    errno = 0;
    int result = vfprintf(file->stream, format, args);
    va_end(args);
    if (result < 0)
        note_write_error(file, errno);
    return result;
}

int file_flush(GameFile *file)
{
    if (stream_failed(file))
        return EOF;
    errno = 0;
    if (fflush(file->stream) == 0)
        return 0;
    note_write_error(file, errno);
    errno = file->write_error;
    return EOF;
}

int file_write_error(const GameFile *file)
{
    return file ? file->write_error : EINVAL;
}

GameFile *file_open(const char *path, const char *mode)
{
    GameFile *file = (GameFile *)checked_malloc(sizeof(GameFile));
    if (!file)
        return nullptr;
    if (!open_game_file(file, path, mode)) {
        checked_free(file);
        return nullptr;
    }
    return file;
}

int file_close_only(GameFile *file)
{
    if (!file || !file->stream) {   // already closed
        errno = EBADF;
        return EOF;
    }
    if (file->gzip)
        inflateEnd(&file->inflater);
    file->gzip = 0;
    free_large_block(file->whole);
    file->whole = nullptr;
    // A stream whose buffered bytes could not all be written: fclose
    // flushes them and reports the failure, or the error flag holds an
    // earlier one.
    if (ferror(file->stream))
        note_write_error(file, 0);
    errno = 0;
    if (fclose(file->stream) != 0)
        note_write_error(file, errno);
    file->stream = nullptr;
    if (!file->write_error)
        return 0;
    errno = file->write_error;
    return EOF;
}

int file_close(GameFile *file)
{
    if (!file)
        return 0;
    int result = file_close_only(file);
    int error = file->write_error;
    checked_free(file);
    if (result != 0)
        errno = error;
    return result;
}

char *file_to_string(const char *path)
{
    GameFile *file = (GameFile *)checked_malloc(sizeof(GameFile));
    if (!file)
        return nullptr;
    char *text = nullptr;
    if (open_game_file(file, path, "rb")) {
        // Room for what the file can still deliver, up to the limit: a small
        // file takes a small block.
        int64_t bound = file_bytes_bound(file);
        int room = bound < WHOLE_FILE_MAX ? (int)bound + 1 : WHOLE_FILE_MAX;
        text = (char *)checked_malloc((size_t)room);
        int length = text ? file_read(file, text, room) : 0;
        file_close_only(file);
        if (length == WHOLE_FILE_MAX) {
            log_printf("File %s too long for file_to_string\n", path);
            checked_free(text);
            text = nullptr;
        } else if (text) {
            text[length] = '\0';
            char *fitted = (char *)checked_realloc(text, (size_t)length + 1);
            if (fitted)
                text = fitted;
        }
    }
    checked_free(file);
    return text;
}
