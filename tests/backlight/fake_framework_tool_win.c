/* Stands in for framework_tool.exe ("--kblight [P]") and qmk_hid.exe
 * ("via --backlight [P]") in the tests that run the script under a real
 * PowerShell engine. It works through files beside itself:
 *   percent.txt  the keyboard's percentage; printed as "...: N%" and set by
 *                a call that gives one (no file: nothing is printed)
 *   fail.txt     when present: its text on standard error, exit code 3
 *   calls.txt    each call appended as one line: the program's file name and
 *                its arguments, separated by spaces */
#include <stdio.h>
#include <string.h>
#include <windows.h>

static void beside(char *out, const char *name) {
  char self[MAX_PATH];
  DWORD n = GetModuleFileNameA(NULL, self, MAX_PATH);
  char *slash = strrchr(self, '\\');
  if (n == 0 || slash == NULL) {
    strcpy(out, name);
    return;
  }
  slash[1] = '\0';
  snprintf(out, MAX_PATH, "%s%s", self, name);
}

int main(int argc, char **argv) {
  char path[MAX_PATH], text[256] = "", self[MAX_PATH] = "";
  GetModuleFileNameA(NULL, self, MAX_PATH);
  const char *name = strrchr(self, '\\') ? strrchr(self, '\\') + 1 : self;
  int is_qmk = _strnicmp(name, "qmk_hid", 7) == 0;

  beside(path, "calls.txt");
  FILE *calls = fopen(path, "ab");
  if (calls) {
    fputs(is_qmk ? "qmk_hid.exe" : "framework_tool.exe", calls);
    for (int i = 1; i < argc; ++i) fprintf(calls, " %s", argv[i]);
    fputs("\n", calls);
    fclose(calls);
  }

  beside(path, "fail.txt");
  FILE *fail = fopen(path, "rb");
  if (fail) {
    size_t n = fread(text, 1, sizeof text - 1, fail);
    text[n] = '\0';
    fclose(fail);
    fputs(text, stderr);
    return 3;
  }

  int first = is_qmk ? 3 : 2; /* index of the percentage, when one is given */
  beside(path, "percent.txt");
  if (argc > first) {
    FILE *set = fopen(path, "wb");
    if (set) {
      fputs(argv[first], set);
      fclose(set);
    }
    return 0;
  }
  FILE *get = fopen(path, "rb");
  if (!get) return 0;
  size_t n = fread(text, 1, sizeof text - 1, get);
  text[n] = '\0';
  fclose(get);
  printf(is_qmk ? "Backlight: %s%%\n" : "Keyboard backlight: %s%%\n", text);
  return 0;
}
