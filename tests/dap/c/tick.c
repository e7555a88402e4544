/* The second module of session.c: a static function and its static of the same names as there. */
static unsigned char tick(void) {
    static unsigned char n;
    n += 5; /* tick-add */
    return n;
}

unsigned char other(void) {
    return tick();
}
