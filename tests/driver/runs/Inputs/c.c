int c() { return 2; }
