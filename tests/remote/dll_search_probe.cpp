// A program that imports SHELL32 when it loads, as Quadrell.exe once did:
// the control that shows marker DLLs in a program's folder do get loaded.
#include <windows.h>

#include <shellapi.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  DragAcceptFiles(GetDesktopWindow(), FALSE);
  return 0;
}
