/* Exits 0 when a Windows program of this build starts under Wine at all. */
int main(void) { return 0; }
