/* A plugin for qemu-i386 (user mode, plugin API 1): counts the guest instructions run between the
 * first two sched_yield calls of the program and prints "counted N" when it ends. tarvo-mailbench
 * --instructions runs itself under it where valgrind cannot run a 32-bit program; its --once runs
 * call sched_yield just before and after what is counted. Counting is the same on any machine,
 * loaded or not, and does not depend on how fast the emulator is. */
#include <inttypes.h>
#include <stdint.h>
#include <stdio.h>

typedef uint64_t qemu_plugin_id_t;
typedef struct qemu_info_t qemu_info_t;
struct qemu_plugin_tb;
enum qemu_plugin_op { QEMU_PLUGIN_INLINE_ADD_U64 };

typedef void (*tb_translate_callback)(qemu_plugin_id_t, struct qemu_plugin_tb*);
typedef void (*syscall_callback)(qemu_plugin_id_t, unsigned int, int64_t, uint64_t, uint64_t, uint64_t,
                                 uint64_t, uint64_t, uint64_t, uint64_t, uint64_t);
typedef void (*exit_callback)(qemu_plugin_id_t, void*);

void qemu_plugin_register_vcpu_tb_trans_cb(qemu_plugin_id_t, tb_translate_callback);
void qemu_plugin_register_vcpu_tb_exec_inline(struct qemu_plugin_tb*, enum qemu_plugin_op, void*, uint64_t);
size_t qemu_plugin_tb_n_insns(const struct qemu_plugin_tb*);
void qemu_plugin_register_vcpu_syscall_cb(qemu_plugin_id_t, syscall_callback);
void qemu_plugin_register_atexit_cb(qemu_plugin_id_t, exit_callback, void*);
void qemu_plugin_outs(const char*);

__attribute__((visibility("default"))) int qemu_plugin_version = 1;

enum { kSchedYieldI386 = 158 };

static uint64_t instructions;
static uint64_t markStart;
static uint64_t counted;
static int marks;

static void OnTranslate(qemu_plugin_id_t id, struct qemu_plugin_tb* tb) {
    (void)id;
    qemu_plugin_register_vcpu_tb_exec_inline(tb, QEMU_PLUGIN_INLINE_ADD_U64, &instructions,
                                             qemu_plugin_tb_n_insns(tb));
}

static void OnSyscall(qemu_plugin_id_t id, unsigned int cpu, int64_t number, uint64_t a1, uint64_t a2,
                      uint64_t a3, uint64_t a4, uint64_t a5, uint64_t a6, uint64_t a7, uint64_t a8) {
    (void)id, (void)cpu, (void)a1, (void)a2, (void)a3, (void)a4, (void)a5, (void)a6, (void)a7, (void)a8;
    if (number != kSchedYieldI386 || marks >= 2) return;
    if (marks++ == 0)
        markStart = instructions;
    else
        counted = instructions - markStart;
}

static void OnExit(qemu_plugin_id_t id, void* data) {
    (void)id, (void)data;
    char line[64];
    if (marks < 2) {
        qemu_plugin_outs("counted nothing: fewer than two marks\n");
        return;
    }
    snprintf(line, sizeof line, "counted %" PRIu64 "\n", counted);
    qemu_plugin_outs(line);
}

__attribute__((visibility("default"))) int qemu_plugin_install(qemu_plugin_id_t id, const qemu_info_t* info,
                                                               int argc, char** argv) {
    (void)info, (void)argc, (void)argv;
    qemu_plugin_register_vcpu_tb_trans_cb(id, OnTranslate);
    qemu_plugin_register_vcpu_syscall_cb(id, OnSyscall);
    qemu_plugin_register_atexit_cb(id, OnExit, NULL);
    return 0;
}
