/* The second module of ma.c: its own bits, statics of the same names, the extern's definition
   elsewhere. */
extern int shared;
__bit b_flag;
__bit b_other;
static unsigned char fs = 9;

static unsigned char tick(void) {
    static unsigned char n;
    n += 5;
    return n;
}

unsigned char other(void) {
    b_other = 1;
    b_flag = 1;
    shared++;
    fs++;
    return tick();
}

unsigned char add(unsigned char a, unsigned char b) {
    return a + b;
}
