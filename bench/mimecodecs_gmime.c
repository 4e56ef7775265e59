/* The GMime 3 side of tarvo-mimebench: each argument WORK:NAME=FILE (WORK "encode" or "decode"; a
   NAME starting with "base64" for base64, any other for quoted-printable) is encoded or decoded
   whole with GMime's codec functions into a buffer allocated for the call, as tarvo-mimebench
   measures its own codecs, and printed as "WORK NAME MB/s". The figure counts the bytes of FILE. */
#include <gmime/gmime.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "gmime_measure.h"

struct job {
    unsigned char* data;
    size_t size;
    int encode;
    int base64;
    size_t produced;
};

static void work(void* arg) {
    struct job* job = arg;
    int state = 0;
    guint32 save = 0;
    if (job->encode) {
        size_t room = job->base64 ? GMIME_BASE64_ENCODE_LEN(job->size) : GMIME_QP_ENCODE_LEN(job->size);
        unsigned char* out = malloc(room);
        job->produced = job->base64
                            ? g_mime_encoding_base64_encode_close(job->data, job->size, out, &state, &save)
                            : g_mime_encoding_quoted_encode_close(job->data, job->size, out, &state, &save);
        free(out);
    } else {
        unsigned char* out = malloc(job->size + 3);
        job->produced = job->base64 ? g_mime_encoding_base64_decode_step(job->data, job->size, out, &state, &save)
                                    : g_mime_encoding_quoted_decode_step(job->data, job->size, out, &state, &save);
        free(out);
    }
}

int main(int argc, char** argv) {
    g_mime_init();
    for (int i = 1; i < argc; ++i) {
        char* colon = strchr(argv[i], ':');
        char* equals = colon ? strchr(colon, '=') : NULL;
        if (!equals) return 2;
        *colon = *equals = '\0';
        const char* name = colon + 1;
        FILE* f = fopen(equals + 1, "rb");
        if (!f) return 1;
        fseek(f, 0, SEEK_END);
        long size = ftell(f);
        fseek(f, 0, SEEK_SET);
        struct job job = {malloc(size > 0 ? size : 1), 0, strcmp(argv[i], "encode") == 0,
                          strncmp(name, "base64", 6) == 0, 0};
        job.size = fread(job.data, 1, size, f);
        fclose(f);
        const double rate = gmime_measure(work, &job, (double)job.size);
        if (job.produced == 0 && job.size > 0) return 1;
        printf("%s %s %.1f\n", argv[i], name, rate);
        fflush(stdout);
        free(job.data);
    }
    return 0;
}
