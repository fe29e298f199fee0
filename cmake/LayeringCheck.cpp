// Compiled with the include path of the program's top layer (src/app, and through it every
// layer below): the build fails when the program could include a platform internal.
#if !__has_include(<dshow.h>) || !__has_include(<qedit.h>) || !__has_include(<comptr.h>)
#error "the program's layers do not see the platform's SDK-shaped headers"
#endif
#if __has_include(<streams.h>) || __has_include(<SmartTee.h>) || __has_include(<HwndTable.h>) || \
    __has_include(<builtin_classes.h>)
#error "the program's layers see the platform's internal headers"
#endif
