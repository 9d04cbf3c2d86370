#pragma once
// Clang's thread-safety annotations; other compilers see nothing. Macros, so no namespace.

#if defined(__clang__)
#define TX_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define TX_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) TX_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY TX_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) TX_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) TX_THREAD_ANNOTATION(pt_guarded_by(x))
#define REQUIRES(...) TX_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) TX_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) TX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) TX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) TX_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define NO_THREAD_SAFETY_ANALYSIS TX_THREAD_ANNOTATION(no_thread_safety_analysis)
