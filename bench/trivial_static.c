/* The floor bench_driver_startup measures against: a statically linked program
   that does nothing. */
int main(void) { return 0; }
