/* control.h: the emulator's control API, for native tests and for morvane.emulator (over ctypes).
 *
 * Functions with C linkage and C types only, so that ctypes can call them. Texts are UTF-8 and
 * NUL-terminated. Every function may be called from any thread, with or without an apartment. */
#pragma once

#include "types.h"

extern "C" {

/* The task library: a directory. Until set, it is $MORVANE_TASK_LIBRARY, else
 * $XDG_STATE_HOME/morvane/tasks, else ~/.local/state/morvane/tasks, read from the service's
 * environment (winemu_set_environment).
 * winemu_task_library copies the path into buffer (NUL-terminated when it fits) and returns
 * its length in bytes without the NUL; call with capacity 0 to learn the length. */
WINEMU_API size_t winemu_task_library(char* buffer, size_t capacity);
/* Returns 0, or -1 when path is null or empty. The directory is created on first use. */
WINEMU_API int winemu_set_task_library(const char* path);

/* The environment the service gives its tasks' actions (and reads the default task library's
 * location from): a copy of the process's environment taken as libwinemu is loaded, never the live
 * one. winemu_set_environment replaces it with a copy of `entries` ("NAME=value", NULL-terminated,
 * as `environ`); runs started later use it. 0, or -1 for a NULL `entries` or no memory. */
WINEMU_API int winemu_set_environment(const char* const* entries);

/* Queues a one-shot fault: the next call of the platform function named `call`, on any thread,
 * fails with `hresult`. hresult 0 means "reports success but hands back no object"; an allocator
 * returns null whatever the value, except that SysAllocStringLen with S_FALSE returns an empty
 * string. When `description` is not null, the failing call first leaves a restricted error object
 * (error code `hresult`, restricted description `description`) on the calling thread; else when
 * `plain_description` is not null, a plain IErrorInfo with that description. Faults for the same call are taken in the order they were queued. */
WINEMU_API void winemu_fail_next(const char* call, HRESULT hresult, const char* description,
                                 const char* plain_description);
/* The same fault, but the first `skip` calls of that name go through before it strikes: so a
 * test can fail the second BSTR that an operation allocates. While it waits, the fault holds its
 * place in the queue: faults for the same call strike in the order they were queued. */
WINEMU_API void winemu_fail_after(const char* call, unsigned skip, HRESULT hresult, const char* description,
                                  const char* plain_description);
WINEMU_API void winemu_clear_faults(void);
/* Number of faults still queued. */
WINEMU_API size_t winemu_pending_faults(void);
/* The calls named by the faults still queued, oldest first, each followed by a newline; copied
 * into buffer as far as it fits (NUL-terminated when it fits). Returns the text's length, or
 * (size_t)-1 when it cannot be made. */
WINEMU_API size_t winemu_pending_fault_calls(char* buffer, size_t capacity);

/* Seconds added to each call into the Task Scheduler service. */
WINEMU_API void winemu_set_latency(double seconds);
/* How many calls have waited a latency (this computer's or another's) since the process started:
 * what a benchmark divides by the time those calls took on several threads. */
WINEMU_API unsigned long long winemu_latency_waits(void);

/* Emulated computers other than this one, which Connect reaches by name (ignoring ASCII case, with
 * or without a leading "\\\\"): each with its own task library (a directory, and so its own
 * accounts) and `latency` seconds added to every call made through a connection to it.
 * winemu_add_computer returns 0, or -1 for a null or empty library, or a name that cannot name
 * another computer (empty, ".", "localhost", holding '\\', '/', a space or a control character);
 * adding a name again replaces that computer as removing it would. winemu_remove_computer takes
 * the computer off the network: every later call through a session connected to it fails with
 * HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE), as a proxy whose server cannot be reached does;
 * -1 when no computer has that name. winemu_computers copies like winemu_task_library a JSON array
 * of {"name", "library", "latency"}; (size_t)-1 when it cannot be made. */
WINEMU_API int winemu_add_computer(const char* name, const char* library, double latency);
WINEMU_API int winemu_remove_computer(const char* name);
WINEMU_API size_t winemu_computers(char* buffer, size_t capacity);

/* Makes the Task Scheduler service go away under its callers, as a restart of the service does on
 * Windows: every service object made until now (the service object, folders, registered tasks,
 * collections, running tasks) answers each later call with `hresult` (RPC_E_DISCONNECTED when 0),
 * as a proxy whose server is gone does; AddRef, Release and QueryInterface keep working, and
 * get_Connected answers VARIANT_FALSE. Objects made afterwards (CoCreateInstance, Connect) work. */
WINEMU_API void winemu_disconnect_service(HRESULT hresult);

/* What is allocated and not yet released, over all threads. */
typedef struct winemu_outstanding_counts {
    long long objects;    /* COM objects alive */
    long long bstrs;      /* BSTRs allocated and not freed */
    long long apartments; /* successful CoInitializeEx calls not yet balanced */
    long long buffers;    /* FormatMessageW buffers, HSTRINGs and CoTaskMemAlloc blocks not yet freed */
    long long libraries;  /* LoadLibraryExA handles not yet given back with FreeLibrary */
    long long mta_usages; /* CoIncrementMTAUsage cookies not yet given back with CoDecrementMTAUsage */
} winemu_outstanding_counts;
WINEMU_API winemu_outstanding_counts winemu_outstanding(void);

/* The records of a task's action starts (name as given to GetTask), as a JSON array of objects
 * {"time": float seconds since the epoch, "argv": [str], "run": int, "last": whether it is the
 *  run's last record, "runner": int or null,
 *  "state": "starting", "running", "ended", "terminated", "not started" or "lost", "pid": int or
 *  null, "end_time": float or null, "exit_code": int or null, "error": str or null}, one object
 * per Exec action of a run, oldest first; "lost" is a pending action whose runner is gone.
 * Copies like winemu_task_library; returns (size_t)-1 when the name is invalid. */
WINEMU_API size_t winemu_runs(const char* task_name, char* buffer, size_t capacity);

/* Runs of the task (NULL: of every task in the task library) whose runner still lives.
 * winemu_wait_runs waits up to `seconds` for them to end; winemu_end_runs stops them (their
 * runners record the actions as terminated; runners that do not end within `seconds` are killed
 * with their actions). Both return how many are still running, or -1 for an invalid name. */
WINEMU_API long winemu_wait_runs(const char* task_name, double seconds);
WINEMU_API long winemu_end_runs(const char* task_name, double seconds);

/* The state the service keeps of a task, as a JSON object {"last_run_time": float seconds since
 * the epoch or null, "last_result": the LastTaskResult as an unsigned int, "damaged": whether a
 * record could not be read, "instances": [{"run", "runner", "action": argv[0], "pid", "state"}]}.
 * Copies like winemu_task_library; (size_t)-1 for an invalid name. */
WINEMU_API size_t winemu_task_state(const char* task_name, char* buffer, size_t capacity);

/* Enter (as CoInitializeEx) and leave (as CoUninitialize) an apartment on the calling thread.
 * These are not platform calls: faults do not strike them and they are not counted, so tests can
 * set a thread up without disturbing the counts of the code under test. */
WINEMU_API HRESULT winemu_enter_apartment(int multithreaded);
WINEMU_API void winemu_leave_apartment(void);

/* Leave an error object on the calling thread, as a failing call of the platform would:
 * a restricted one (GetErrorDetails gives description, error, restricted_description and no
 * capability SID; null texts give null BSTRs), or a plain IErrorInfo. */
WINEMU_API void winemu_set_restricted_error(HRESULT error, const char* description,
                                            const char* restricted_description);
WINEMU_API void winemu_set_plain_error(const char* description);

/* How many times the named platform function has been called since the process started, on any
 * thread (faulted calls included); lets tests check that a call was, or was not, made. */
WINEMU_API long long winemu_call_count(const char* call);

/* Misuse that Windows leaves undefined or punishes, one description per case, oldest first, as a
 * JSON array of strings: a call or Release on a COM object after the apartment it was made in
 * ended (a single-threaded one when its thread left it for the last time, the multithreaded one
 * when no thread was in it any more), from a thread in no apartment, on a single-threaded
 * apartment's object from another thread or on a multithreaded apartment's object from a
 * single-threaded apartment (both answered RPC_E_WRONG_THREAD, and Release still releases); FreeLibrary of a handle
 * that was not loaded; CoDecrementMTAUsage of a cookie not handed out or given back already
 * (answered E_INVALIDARG). Copies like winemu_task_library. */
WINEMU_API size_t winemu_violations(char* buffer, size_t capacity);
WINEMU_API size_t winemu_violation_count(void);
WINEMU_API void winemu_clear_violations(void);

/* The call journal. winemu_journal_start drops the records made so far and records every
 * platform call from then on, on every thread, until winemu_journal_stop. Calls that winemu makes
 * itself while serving a call are not recorded. While the journal is off a call pays one relaxed
 * atomic load for it. */
typedef struct winemu_journal_entry {
    unsigned long long thread; /* a small number per thread, in order of first use */
    const char* call;          /* "CoCreateInstance", "GetTask", "Release", ... */
    unsigned long long object; /* the number of the object whose method it is (numbered in order
                                  of creation); 0 for a function */
    const char* arguments;     /* "name=value, ..." in parameter order: numbers in decimal (flags in
                                  hex), texts quoted, BSTRs and VARIANTs as null/empty/"text",
                                  objects handed out as #number */
    int has_result;            /* 0 for functions that return nothing */
    long long result;          /* the HRESULT; for other functions what they return (BOOL,
                                  a count, 1 for a pointer and 0 for null) */
    long long apartments;      /* the calling thread's apartment entries when the call began */
    long long objects;         /* COM objects alive when the call began (all threads) */
    long long bstrs;           /* BSTRs alive when the call began (all threads) */
} winemu_journal_entry;
WINEMU_API void winemu_journal_start(void);
WINEMU_API void winemu_journal_stop(void);
WINEMU_API size_t winemu_journal_size(void);
/* Fills *entry with record `index` (0 the oldest); 0 on success, -1 past the end. Its texts stay
 * valid until the next winemu_journal_start. */
WINEMU_API int winemu_journal_record(size_t index, winemu_journal_entry* entry);
/* When the enabled time and calendar triggers of a definition (UTF-8 XML that RegisterTask would
 * accept) start its task: the instants, in seconds since the epoch, within [start, end], ascending,
 * each once, the first max_count of them (0: all). Times of the definition without an offset are
 * local times of the process's zone (TZ). Copies up to `capacity` of them into `times` and returns
 * how many there are; sets *has_time_triggers (when not null) to whether the definition has an
 * enabled time or calendar trigger. Returns (size_t)-1 when definition is null or memory runs out. */
WINEMU_API size_t winemu_trigger_run_times(const char* definition, long long start, long long end, size_t max_count,
                                           long long* times, size_t capacity, int* has_time_triggers);
/* The canonical SDDL text (ConvertSecurityDescriptorToStringSecurityDescriptor's) of a security
 * descriptor given as SDDL text (UTF-8), as the emulated service reads and writes descriptors.
 * Copies like winemu_task_library and returns the canonical text's length, or the failure HRESULT
 * (negative) the reading answers: HRESULT_FROM_WIN32 of ERROR_INVALID_PARAMETER, ERROR_INVALID_SID,
 * ERROR_INVALID_ACL or ERROR_NONE_MAPPED; E_OUTOFMEMORY when memory runs out. */
WINEMU_API long long winemu_sddl_canonical(const char* text, char* buffer, size_t capacity);

/* Hashes a password as the emulated accounts keep theirs (Argon2id) and verifies it: 1 when the
 * hash takes that password and refuses another, 0 otherwise. A packaged winemu proves with it that
 * the hashing library inside it works. */
WINEMU_API int winemu_password_hashing_works(void);

/* The accounts of the computer whose disk is the chosen task library (kept in a private file at its
 * root, made on first use with a new computer SID and the caller's own account, named after the
 * process's user and an administrator). Each answers S_OK or an HRESULT: ERROR_NONE_MAPPED
 * (0x80070534) for an account or group the computer does not know, ERROR_INVALID_ACCOUNT_NAME
 * (0x8007051B) for a name Windows refuses, ERROR_USER_EXISTS / ERROR_GROUP_EXISTS (0x80070524,
 * 0x80070526) for a name taken, ERROR_INTERNAL_DB_CORRUPTION (0x8007054E) for a damaged file.
 * A password is a writable NUL-terminated buffer: winemu hashes it (Argon2id) and overwrites it
 * with zeros before returning, whatever the outcome; NULL is no password (no logon with one).
 * winemu_set_caller: the process calls as the user `name` (made without a password when missing),
 * an administrator or not. winemu_add_user: `groups` is NULL or a NULL-terminated list of local
 * groups to join. winemu_remove_user: a removed caller is replaced by the process's own account.
 * winemu_accounts: a JSON object {"computer", "sid", "caller": name, "accounts": [{"domain",
 * "name", "sid", "kind": "user"|"service"|"group", "administrator", "password": whether one is
 * set, "groups": [SIDs]}]}, copied like winemu_task_library, its length in *length. */
WINEMU_API HRESULT winemu_set_caller(const char* name, int administrator);
WINEMU_API HRESULT winemu_add_user(const char* name, char* password, int administrator, const char* const* groups);
WINEMU_API HRESULT winemu_remove_user(const char* name);
WINEMU_API HRESULT winemu_set_password(const char* name, char* password);
WINEMU_API HRESULT winemu_add_group(const char* name);
WINEMU_API HRESULT winemu_accounts(char* buffer, size_t capacity, size_t* length);
}
