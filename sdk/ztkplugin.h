/*
 * ztkplugin.h - the contract between ZTK Setup and a subsystem's plug-in library.
 *
 * A subsystem of a product may name a Windows DLL in its "Library" key of setup.idf. The
 * installer loads that DLL by its full path: a name that is a full path as it is, else the
 * first of these directories that holds it: when installing, the distribution directory,
 * then the install directory and its SYSTEM and USER directories; when removing, the
 * installed directories first and the distribution directory last. The Path and the
 * installer's own directory are never searched. The DLL's own imports are found in its
 * directory and in the system directory (LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR |
 * LOAD_LIBRARY_SEARCH_SYSTEM32). The installer then hands it the install directory, the
 * subsystem's "Parameter" text, its part of the subsystem tree and four callbacks, lets it ask its questions, lets it do its work,
 * and unloads it. The same happens when the subsystem is removed, in uninstall mode.
 *
 * Every export is looked up by its plain, undecorated name (GetProcAddress("Perform")) and
 * every export is optional. A 32-bit library must export the plain names, not the stdcall
 * decorations ("Perform", not "Perform@0"): link with -Wl,--kill-at (MinGW) or a .def file.
 *
 * Calling convention: every export and every callback is WINAPI (__stdcall; the callee
 * removes its arguments). On x86-64 there is only one convention and every argument is
 * passed as a 64-bit value: the number setters receive a pointer-sized value whose low bits
 * carry the number. A boolean or byte result is read from its low byte only, so returning
 * BOOL, BYTE or unsigned char all work.
 *
 * Text: every text that crosses the contract, in both directions, is a zero-terminated
 * string in the system's ANSI code page (CP_ACP): the path, the parameter, the session
 * name, and the texts given to the log and progress callbacks. The installer refuses to
 * load a library for an install path that the ANSI code page cannot hold.
 *
 * Order of calls. The installer processes the top-level subsystems of the tree in their
 * order; a subsystem without a library counts as done at once.
 *
 *   set phase (worker thread), one library after the other, each library completely:
 *     SetLogCallBack, SetTreePointer, SetExternalParameter, SetIUGRegim,
 *     SetQuestionsLevel, SetPath, SetClientNumber, SetProgressCallBack, SetSessionName,
 *     SetHideProgressCallBack, SetShowProgressCallBack
 *   ask phase (the main, user-interface thread), all libraries set before any is asked:
 *     AskQuestions
 *   perform phase (the worker thread), all libraries asked before any performs:
 *     Perform
 *   after a cancellation or a failed Perform: UserAbort
 *   at any time, from the main thread, around the user's "cancel?" question:
 *     UserSuspendThread, UserResumeThread
 *
 * A library whose SetExternalParameter or SetIUGRegim answers FALSE, or whose
 * SetTreePointer answers FALSE, is not asked and does not perform; the user is asked
 * whether to abort. A library without AskQuestions leaves its subsystem not done.
 *
 * Results of AskQuestions and Perform (a byte):
 *   1  done: the subsystem counts as installed (removed, in uninstall mode)
 *   2  abort: the whole installation is abandoned (a fresh installation is rolled back)
 *   0  failed: the user is asked whether to abort the installation; the subsystem stays
 *      not done and is removed again afterwards
 *   other values: the subsystem stays not done, without a question.
 *
 * An exception that the library does not handle itself (an access violation, a C++
 * exception of its own compiler) does not take the installer down: it counts as the
 * answer 0, is logged, and the library is not called again. Handle your own exceptions.
 */
#ifndef ZTKPLUGIN_H
#define ZTKPLUGIN_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Modes given to SetIUGRegim. */
#define ZTK_MODE_INSTALL 1
#define ZTK_MODE_UNINSTALL 2
#define ZTK_MODE_GENERATION 3 /* not used by this installer */

/* Results of AskQuestions and Perform. */
#define ZTK_FAILED 0
#define ZTK_DONE 1
#define ZTK_ABORT 2

/* Question levels given to SetQuestionsLevel (the wizard's choice). At level 1, "install
 * with default parameters", a library asks nothing: AskQuestions must return ZTK_DONE
 * without showing any window. Higher levels may ask. */
#define ZTK_LEVEL_DEFAULTS 1

/* ---- callbacks: the installer's functions, given to the library in the set phase ---- */

/* Reports progress (percent 0..100, a text for the progress window or an empty one, an
 * extra number that is stored and not shown). Returns FALSE once the user has confirmed
 * cancelling: the library must then stop its work soon and return from Perform. Callable
 * from Perform (worker thread) and AskQuestions (main thread). */
typedef BOOL(WINAPI *ZtkProgressCallBack)(INT32 percent, const char *text, INT32 extra);
/* Writes the text (ANSI) as a line of the installer's log (ztkinst.log in the temporary
 * directory). Never fails. */
typedef void(WINAPI *ZtkLogCallBack)(const char *text);
/* Hide and show the installer's progress window, for instance around a dialog that the
 * library shows from Perform. They run on the main thread and return when done. */
typedef void(WINAPI *ZtkHideProgressCallBack)(void);
typedef void(WINAPI *ZtkShowProgressCallBack)(void);

/* ---- exports: what a library may provide (all optional) ---- */

/* Set phase. Results of the setters that answer are booleans read from the low byte. */
typedef void(WINAPI *ZtkSetLogCallBack)(ZtkLogCallBack callback);
/* The subsystem's part of the tree, in the library image layout below. The block stays
 * valid until after Perform; the selection marks a library changes in it are read back
 * into the installer's tree (only below the library's own subsystem, and only as far as
 * the block's lengths are intact). FALSE: the tree could not be taken. */
typedef BOOL(WINAPI *ZtkSetTreePointer)(void *block);
/* The subsystem's "Parameter" text of setup.idf (ANSI). FALSE: the parameter is invalid,
 * the subsystem is not installed. */
typedef BOOL(WINAPI *ZtkSetExternalParameter)(const char *parameter);
/* The mode in the low 8 bits (ZTK_MODE_*; the upper bits are unspecified). FALSE: the
 * library does not support the mode, the subsystem is not processed. */
typedef BOOL(WINAPI *ZtkSetIUGRegim)(UINT_PTR mode);
/* The question level in the low 8 bits. */
typedef void(WINAPI *ZtkSetQuestionsLevel)(UINT_PTR level);
/* The install directory (ANSI, without a trailing backslash unless it is a root). */
typedef void(WINAPI *ZtkSetPath)(const char *path);
/* A client number in the low 32 bits; always 0 from this installer. */
typedef void(WINAPI *ZtkSetClientNumber)(UINT_PTR number);
typedef void(WINAPI *ZtkSetProgressCallBack)(ZtkProgressCallBack callback);
/* A session name (ANSI); always the empty text from this installer. */
typedef void(WINAPI *ZtkSetSessionName)(const char *name);
typedef void(WINAPI *ZtkSetHideProgressCallBack)(ZtkHideProgressCallBack callback);
typedef void(WINAPI *ZtkSetShowProgressCallBack)(ZtkShowProgressCallBack callback);

/* Ask phase, on the main thread: the library may show dialogs (the progress window is
 * hidden meanwhile). Returns ZTK_DONE, ZTK_ABORT or ZTK_FAILED in the low byte. */
typedef BYTE(WINAPI *ZtkAskQuestions)(void);
/* Perform phase, on the worker thread: the library does its work, reporting through the
 * progress callback and stopping when it answers FALSE. Returns ZTK_DONE, ZTK_ABORT or
 * ZTK_FAILED in the low byte. */
typedef BYTE(WINAPI *ZtkPerform)(void);
/* The installation was cancelled or another library failed: undo what Perform did. */
typedef void(WINAPI *ZtkUserAbort)(void);
/* Called from the main thread while the user is asked whether to cancel: a library that
 * works in a thread of its own should hold it (and let it go on after Resume). */
typedef void(WINAPI *ZtkUserSuspendThread)(void);
typedef void(WINAPI *ZtkUserResumeThread)(void);

/* ---- the library image (the block given to SetTreePointer) ----
 *
 * All integers are 32-bit little-endian; a string is a 32-bit length and that many ANSI
 * bytes, without a terminator.
 *
 *   offset 0      record length, children included, minus 4
 *   offset 4      H = 14 + len(Library) + len(Parameter) + len(ShortName)
 *   offset 8      Selected (0/1): a library may clear it for a child to leave it out
 *   offset 9      Selected again
 *   offset 10     Library, Parameter, ShortName (each length + bytes)
 *   offset 8+H    child count
 *   offset 12+H   the child records, in child order, each in this same layout
 */
#define ZTK_RECORD_LENGTH(block) (*(const INT32 *)(block))
#define ZTK_RECORD_HEADER(block) (*(const INT32 *)((const BYTE *)(block) + 4))
#define ZTK_RECORD_SELECTED(block) (((BYTE *)(block))[8])

#ifdef __cplusplus
}
#endif

#endif /* ZTKPLUGIN_H */
