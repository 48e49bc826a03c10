/* The yardstick of bench/wine_startup.sh: a console program that does no
   work of its own, so that its run time under Wine is Wine's start alone. */
#include <stdio.h>

int main(void) {
  puts("ok");
  return 0;
}
