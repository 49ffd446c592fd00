// The window program. Start-up and exit run here until the main window exists.
int main() {
  return 0;
}
