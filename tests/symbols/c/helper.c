/* The second module: a file static of the same name as nothing else, parameters in memory. */
static int hidden = 7;

int helper(int a, int b) {
    int s = a + b;
    hidden += s;
    return s;
}
