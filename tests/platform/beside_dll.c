/* A DLL that system_library_win_test puts beside the test program: an
   ordinary search finds it there, the system-directory search must not. */
__declspec(dllexport) int ostrane_beside(void) { return 42; }
