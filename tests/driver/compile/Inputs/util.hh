inline int util() { return 1; }
