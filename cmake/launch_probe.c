/* Built and started at configure time to learn whether the programs of this
 * build run on this machine, directly or under an emulator.  It prints its
 * pointer width so that the answer is known to come from this very program. */
#include <stdio.h>

int main(void)
{
    printf("%d\n", (int)(sizeof(void*) * 8));
    return 0;
}
