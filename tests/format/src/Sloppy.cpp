#include <tlhelp32.h>
#include <windows.h>
int  Sloppy( ) {return 1;}
