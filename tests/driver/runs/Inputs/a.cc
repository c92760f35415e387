int b();
int main() { return b(); }
