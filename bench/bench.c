/* CPU-bound benchmark: a sieve of Eratosthenes, CRC-16 over pseudo-random bytes and an insertion sort,
   repeated; the results go out through the serial port. */
#include <8052.h>

static __xdata unsigned char flags[2048];
static __xdata unsigned int data[64];

static void putch(char c) {
    SBUF = c;
    while (!TI)
        ;
    TI = 0;
}

static void puthex16(unsigned int v) {
    unsigned char i;
    for (i = 0; i < 4; i++) {
        putch("0123456789ABCDEF"[(v >> 12) & 15]);
        v <<= 4;
    }
    putch(' ');
}

static unsigned int sieve(void) {
    unsigned int i, k, count = 0;
    for (i = 0; i < sizeof flags; i++) flags[i] = 1;
    for (i = 2; i < sizeof flags; i++) {
        if (flags[i]) {
            count++;
            for (k = i + i; k < sizeof flags; k += i) flags[k] = 0;
        }
    }
    return count;
}

static unsigned int crc16(void) {
    unsigned int crc = 0xFFFF, i, seed = 1;
    unsigned char b;
    for (i = 0; i < 1024; i++) {
        seed = seed * 25173u + 13849u;
        crc ^= seed & 0xFF00;
        for (b = 0; b < 8; b++) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
    }
    return crc;
}

static unsigned int sort(unsigned int seed) {
    unsigned char i, j;
    for (i = 0; i < 64; i++) {
        seed = seed * 25173u + 13849u;
        data[i] = seed;
    }
    for (i = 1; i < 64; i++) {
        unsigned int v = data[i];
        j = i;
        while (j > 0 && data[j - 1] > v) {
            data[j] = data[j - 1];
            j--;
        }
        data[j] = v;
    }
    return data[0] ^ data[63];
}

void main(void) {
    unsigned char round;
    TMOD = 0x20;
    TH1 = 0xFD;
    TR1 = 1;
    SCON = 0x50;
    for (round = 0; round < 40; round++) {
        puthex16(sieve());
        puthex16(crc16());
        puthex16(sort(round));
        putch('\n');
    }
    EA = 0;
    for (;;)
        ;
}
