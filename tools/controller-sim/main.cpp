// Work in progress: filled by its owner.
int main() { return 0; }
