// Makes the GUID and property-key macros that follow define their names instead of declaring them.
#ifndef INITGUID
#define INITGUID
#endif
