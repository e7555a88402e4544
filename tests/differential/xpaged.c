/* External RAM through MOVX @Ri with P2 as the page: initialised __xdata at 0100h and above
   (copied there by SDCC's start-up code through @R0/@R1), __pdata in the page that P2 selects,
   and explicit page switches between a write and a read. Built for the small, medium and large
   models with the external RAM starting at 0100h. */
#include "serial.h"

__xdata unsigned long initd = 12345678;
__xdata char words[] = "paged by P2";
__xdata int table[5] = {-3, 1000, 7, -32000, 42};
__pdata unsigned char pbytes[4] = {0x11, 0x22, 0x33, 0x44};
__pdata unsigned int pcount;

/* A byte stored at F0h of page `page`, another at F0h of the next page, then the first read
   back: only paging by P2 keeps the two apart. Everything here lives in __data, since the
   medium model keeps locals in the page that P2 selects. */
#define PAGED (*(__pdata volatile unsigned char *)0xF0)
static __data unsigned char page_of, value_of;

static void through_page(void) {
    P2 = page_of;
    PAGED = value_of;
    P2 = page_of + 1;
    PAGED = 0x5A;
    P2 = page_of;
    value_of = PAGED;
    P2 = 0x01;
}

void main(void) {
    unsigned char i;
    int sum = 0;
    serial_init();
    print("initd=");
    print_u32(initd);
    print("\r\nwords=");
    for (i = 0; words[i]; i++) putchar(words[i]);
    for (i = 0; i < 5; i++) sum += table[i];
    print("\r\nsum=");
    print_i32(sum);
    print("\r\npdata=");
    for (i = 0; i < 4; i++) print_hex8(pbytes[i]);
    for (pcount = 0; pcount < 300; pcount++) pbytes[pcount & 3] += 3;
    print(" ");
    for (i = 0; i < 4; i++) print_hex8(pbytes[i]);
    print("\r\npages=");
    page_of = 0x20;
    value_of = 0xA5;
    through_page();
    print_hex8(value_of);
    page_of = 0x40;
    value_of = 0x3C;
    through_page();
    print_hex8(value_of);
    print("\r\n");
    halt();
}
