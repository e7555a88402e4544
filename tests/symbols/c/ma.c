/* Two modules that name things alike: a bool (also as a member), bits in both modules, an
   extern, a static function "tick" with a static in each module, file statics of one name, and
   a variable named like a hexadecimal number. */
#include <stdbool.h>

struct flags {
    bool on;
    unsigned char level;
};
struct {
    int q;
} anon;

bool ready;
struct flags conf;
__bit led_on;
__bit tx_ready;
unsigned char ab;
int shared = 5;
static unsigned char fs = 3;

extern __bit b_flag;
extern unsigned char other(void);
extern unsigned char add(unsigned char a, unsigned char b);

static unsigned char tick(void) {
    static unsigned char n;
    return ++n;
}

void main(void) {
    ready = true;
    conf.on = true;
    conf.level = 2;
    led_on = 1;
    anon.q = 7;
    ab = add(0x40, 2);
    tick();
    tick();
    other();
    if (b_flag) tx_ready = 1;
    if (tx_ready) led_on = !led_on;
    fs++;
    while (1)
        ;
}
