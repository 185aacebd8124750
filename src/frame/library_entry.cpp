// Windows loader entry. Nothing happens at load on any platform: the plan
// cache starts empty by static initialisation. On Windows the per-thread
// attach/detach notifications are switched off because the library keeps no
// per-thread state.
#if defined(_WIN32)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(module);
    return TRUE;
}
#endif
