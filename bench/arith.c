/* CPU-bound benchmark: 32-bit arithmetic (library multiply, divide, modulo), a string hash and a bubble sort,
   repeated; the results go out through the serial port. */
#include <8052.h>
static __xdata unsigned char buf[256];
static void putch(char c) { SBUF = c; while (!TI); TI = 0; }
static void puthex(unsigned long v) { unsigned char i; for (i = 0; i < 8; i++) { putch("0123456789ABCDEF"[(v >> 28) & 15]); v <<= 4; } putch('\n'); }
static unsigned long arith(unsigned long s) {
    unsigned int i; unsigned long acc = 1;
    for (i = 0; i < 300; i++) { s = s * 1103515245ul + 12345ul; acc += (s >> 7) / (i + 3); acc ^= s % 97; }
    return acc;
}
static unsigned long hash(void) {
    unsigned int i; unsigned long h = 5381;
    for (i = 0; i < 256; i++) buf[i] = (unsigned char)(i * 37 + 11);
    for (i = 0; i < 256; i++) h = ((h << 5) + h) ^ buf[i];
    return h;
}
static unsigned int bsort(void) {
    unsigned char i, j, t; unsigned char data[40];
    for (i = 0; i < 40; i++) data[i] = (unsigned char)(i * 73 + 5);
    for (i = 0; i < 39; i++) for (j = 0; j < 39 - i; j++) if (data[j] > data[j + 1]) { t = data[j]; data[j] = data[j + 1]; data[j + 1] = t; }
    return data[0] * 256u + data[39];
}
void main(void) {
    unsigned char r;
    TMOD = 0x20; TH1 = 0xFD; TR1 = 1; SCON = 0x50;
    for (r = 0; r < 12; r++) { puthex(arith(r)); puthex(hash()); puthex(bsort()); }
    EA = 0;
    for (;;);
}
