/* Large model with a reentrant function: locals and parameters on the stack. */
struct pair {
    int a;
    int b;
};

long total;
float half = 0.5;

long work(int n, long m) __reentrant {
    long arr[3];
    struct pair p;
    int i;
    p.a = n;
    p.b = n + 1;
    for (i = 0; i < 3; i++)
        arr[i] = m * i + p.a * p.b;
    total = arr[0] + arr[1] + arr[2];
    return total;
}

void main(void) {
    total = work(3, 100000L);
    while (1)
        ;
}
