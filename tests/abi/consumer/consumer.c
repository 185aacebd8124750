/*
 * A minimal C program against the public header and the shared library.
 * It is built three ways: in the build tree as strict C99, and after
 * installation through find_package(Varnel) and through pkg-config.
 * The expected values are the layout definitions written out by hand for
 * n = 5 and n = 4, not computed.
 */
#include <stdio.h>

#include "varnel.h"

static int failures = 0;

static void expect(int ok, const char *what)
{
    if (!ok) {
        fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

static int same(const double *a, const double *b, int count)
{
    int i;
    for (i = 0; i < count; ++i) {
        if (a[i] != b[i]) {
            return 0;
        }
    }
    return 1;
}

int main(void)
{
    /* Odd length: Hc [r0 r1 r2 i2 i1] is bins (r0,0) (r1,i1) (r2,i2) (r2,-i2) (r1,-i1). */
    const double hc5[5] = {1.0, 2.0, 3.0, 4.0, 5.0};
    const double cx5[10] = {1.0, 0.0, 2.0, 5.0, 3.0, 4.0, 3.0, -4.0, 2.0, -5.0};
    const double re5[5] = {1.0, 2.0, 3.0, 3.0, 2.0};
    const double im5[5] = {0.0, 5.0, 4.0, -4.0, -5.0};
    /* Even length: the Nyquist bin is real and stored at n/2. */
    const double hc4[4] = {1.0, 2.0, 3.0, 4.0};
    const double cx4[8] = {1.0, 0.0, 2.0, 4.0, 3.0, 0.0, 2.0, -4.0};
    /* A spectrum that is not conjugate-symmetric keeps only its symmetric part. */
    const double cxAsym[8] = {7.0, 9.0, 1.0, 2.0, 6.0, 8.0, 3.0, 4.0};
    const double hcAsym[4] = {7.0, 2.0, 6.0, -1.0};

    double cx[10];
    double re[5];
    double im[5];
    double hc[5];
    double untouched[2] = {42.0, 43.0};
    enum VarnelStatus ok = kStatusOk;
    ExtensionMode mode = Periodic;

    _Hc2Cx(hc5, cx, 5);
    expect(same(cx, cx5, 10), "_Hc2Cx n=5");
    _Cx2Hc(cx5, hc, 5);
    expect(same(hc, hc5, 5), "_Cx2Hc n=5");
    _Hc2ReIm(hc5, re, im, 5);
    expect(same(re, re5, 5) && same(im, im5, 5), "_Hc2ReIm n=5");
    _ReIm2Hc(re5, im5, hc, 5);
    expect(same(hc, hc5, 5), "_ReIm2Hc n=5");
    _Cx2ReIm(cx5, re, im, 5);
    expect(same(re, re5, 5) && same(im, im5, 5), "_Cx2ReIm n=5");
    _ReIm2Cx(re5, im5, cx, 5);
    expect(same(cx, cx5, 10), "_ReIm2Cx n=5");

    _Hc2Cx(hc4, cx, 4);
    expect(same(cx, cx4, 8), "_Hc2Cx n=4");
    _Cx2Hc(cxAsym, hc, 4);
    expect(same(hc, hcAsym, 4), "_Cx2Hc keeps the symmetric part");

    _Hc2Cx(hc5, untouched, 0);
    expect(untouched[0] == 42.0 && untouched[1] == 43.0, "n=0 writes nothing");

    expect(ok == 0 && kStatusNoMemory == -20001 && mode == 2, "constants");

    if (failures == 0) {
        printf("varnel consumer: ok\n");
    }
    return failures == 0 ? 0 : 1;
}
