/* The digits board demo (digits.board): four multiplexed 7-segment digits on P0 (segments) and
   P3.4-P3.7 (digit select, low active), an LED bar on P2 and a 4x4 keypad on P1.

   The display starts with 8051; every key pressed on the keypad moves in from the right, as on a
   calculator. A light runs along the LED bar. Timer 0 interrupts every millisecond to show the
   next digit (select first, then segments, as many course boards do); the main loop scans the
   keypad every 10 ms and moves the light every 100 ms.
   build: --std-c99 */
#include <8052.h>

#include "keypad.h"

/* Segment patterns of 0-F, segment a in bit 0, low = lit. */
static __code const unsigned char patterns[16] = {
    0xC0, 0xF9, 0xA4, 0xB0, 0x99, 0x92, 0x82, 0xF8,
    0x80, 0x90, 0x88, 0x83, 0xC6, 0xA1, 0x86, 0x8E};

static volatile unsigned char digits[4] = {1, 5, 0, 8};  /* digit 0 is the rightmost */
static volatile unsigned char ticks;                     /* milliseconds, counted by Timer 0 */
static unsigned char shown;                              /* the digit the display shows now */

/* Every millisecond: the next digit. */
void timer0(void) __interrupt(1)
{
    TH0 = 0xFC;                        /* 65536 - 1000 machine cycles */
    TL0 = 0x18;
    P0 = 0xFF;                         /* blank while switching */
    shown = (shown + 1) & 3;
    P3 = P3 | 0xF0;
    P3 = P3 & ~(0x10 << shown);        /* select the digit ... */
    P0 = patterns[digits[shown]];      /* ... then light its segments */
    ticks++;
}

static void wait_ms(unsigned char ms)
{
    unsigned char start = ticks;
    while ((unsigned char)(ticks - start) < ms)
        ;
}

void main(void)
{
    unsigned char light = 0, time = 0;
    signed char key;

    TMOD = 0x01;                       /* Timer 0: 16-bit */
    TH0 = 0xFC;
    TL0 = 0x18;
    ET0 = 1;
    EA = 1;
    TR0 = 1;
    for (;;) {
        wait_ms(10);
        key = keypad_new_key();
        if (key >= 0) {
            digits[3] = digits[2];
            digits[2] = digits[1];
            digits[1] = digits[0];
            digits[0] = key;
        }
        if (++time == 10) {
            time = 0;
            light = (light + 1) & 7;
            P2 = ~(1 << light);         /* one LED lit, active low */
        }
    }
}
