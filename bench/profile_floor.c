/* The floor of bench/wine_startup.sh for "ostrane.exe detect": a console
   program that only starts, lists the profile directory and reads every
   *.toml file in it whole, with the same calls ostrane makes (one
   FindFirstFileW listing; per file one CreateFileW, reads of 64 KiB until a
   short one, one CloseHandle). What detect costs beyond this is its own.
     profile_floor.exe [DIR]   DIR defaults to "profiles"
   Prints how many files and bytes it read; exits 1 when a file cannot be
   opened or read, or the directory cannot be listed. */
#include <stdio.h>
#include <wchar.h>
#include <windows.h>

/* The rule of the profile loader: the text after the last dot is "toml",
   and something comes before the dot. */
static int has_toml_extension(const wchar_t* name) {
  const wchar_t* dot = wcsrchr(name, L'.');
  return dot != NULL && dot != name && wcscmp(dot + 1, L"toml") == 0;
}

static char buffer[65536];

/* The bytes read, or -1 with the system's error code in *error. */
static long long read_whole(const wchar_t* path, DWORD* error) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return -1;
  }
  long long total = 0;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &read, NULL)) {
      *error = GetLastError();
      total = -1;
      break;
    }
    total += read;
    if (read < sizeof buffer) break;
  }
  CloseHandle(file);
  return total;
}

int wmain(int argc, wchar_t** argv) {
  const wchar_t* dir = argc > 1 ? argv[1] : L"profiles";
  wchar_t path[MAX_PATH];
  if (swprintf(path, MAX_PATH, L"%ls\\*", dir) < 0) {
    fprintf(stderr, "profile_floor: directory name too long\n");
    return 1;
  }

  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(path, &data);
  if (find == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "profile_floor: cannot list %ls (error %lu)\n", dir, GetLastError());
    return 1;
  }
  int files = 0;
  long long bytes = 0;
  int status = 0;
  do {
    if (!has_toml_extension(data.cFileName)) continue;
    if (swprintf(path, MAX_PATH, L"%ls\\%ls", dir, data.cFileName) < 0) {
      fprintf(stderr, "profile_floor: path too long in %ls\n", dir);
      status = 1;
      break;
    }
    DWORD error = 0;
    const long long size = read_whole(path, &error);
    if (size < 0) {
      fprintf(stderr, "profile_floor: cannot read %ls (error %lu)\n", path, error);
      status = 1;
      break;
    }
    ++files;
    bytes += size;
  } while (FindNextFileW(find, &data));
  FindClose(find);
  if (status == 0) printf("%d files, %lld bytes\n", files, bytes);
  return status;
}
