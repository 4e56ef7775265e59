/* Exits 0 where the kernel runs it: then it runs the daemon's other i386 programs too. */
int main(void) {
    return 0;
}
