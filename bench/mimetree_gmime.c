/* The GMime 3 side of tarvo-mimetreebench: parses every message file of a folder from memory,
   then parses and writes it back to a memory stream, and prints "parse MB/s", "assemble MB/s"
   and "peak BYTES" (the memory that parsing the largest message took at its peak), measured as
   tarvo-mimetreebench measures the tree. */
#include <dirent.h>
#include <gmime/gmime.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "gmime_measure.h"

struct text {
    char* data;
    size_t size;
};

static struct text* messages;
static size_t count, total;

static void work(void* assembleFlag) {
    const int assemble = *(const int*)assembleFlag;
    for (size_t i = 0; i < count; ++i) {
        GMimeStream* stream = g_mime_stream_mem_new_with_buffer(messages[i].data, messages[i].size);
        GMimeParser* parser = g_mime_parser_new_with_stream(stream);
        GMimeMessage* message = g_mime_parser_construct_message(parser, NULL);
        if (message && assemble) {
            GMimeStream* out = g_mime_stream_mem_new();
            g_mime_object_write_to_stream(GMIME_OBJECT(message), NULL, out);
            g_object_unref(out);
        }
        if (message) g_object_unref(message);
        g_object_unref(parser);
        g_object_unref(stream);
    }
}

static double measure(int assemble) {
    return gmime_measure(work, &assemble, (double)total);
}

static void parse_largest(void* unused) {
    size_t largest = 0;
    (void)unused;
    for (size_t i = 1; i < count; ++i)
        if (messages[i].size >= messages[largest].size) largest = i;
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(messages[largest].data, messages[largest].size);
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* message = g_mime_parser_construct_message(parser, NULL);
    if (message) g_object_unref(message);
    g_object_unref(parser);
    g_object_unref(stream);
}

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    DIR* dir = opendir(argv[1]);
    if (!dir) return 1;
    struct dirent* entry;
    while ((entry = readdir(dir))) {
        if (entry->d_name[0] == '.') continue;
        char path[4096];
        snprintf(path, sizeof path, "%s/%s", argv[1], entry->d_name);
        FILE* f = fopen(path, "rb");
        if (!f) continue;
        fseek(f, 0, SEEK_END);
        long size = ftell(f);
        fseek(f, 0, SEEK_SET);
        messages = realloc(messages, (count + 1) * sizeof *messages);
        messages[count].data = malloc(size > 0 ? size : 1);
        messages[count].size = fread(messages[count].data, 1, size, f);
        total += messages[count].size;
        ++count;
        fclose(f);
    }
    closedir(dir);
    g_mime_init();
    printf("parse %.2f\n", measure(0));
    fflush(stdout);
    printf("assemble %.2f\n", measure(1));
    if (count) printf("peak %.0f\n", gmime_peak(parse_largest, NULL));
    return 0;
}
