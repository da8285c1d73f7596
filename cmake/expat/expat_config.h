/* expat's configuration for every build of sfxpack: the host's, the two
   MinGW ones and the fuzz target's, so that one header holds for all (expat's
   own build would probe the compiler for it). */
#ifndef SFX_EXPAT_CONFIG_H
#define SFX_EXPAT_CONFIG_H

/* x86 and x86-64 only: little-endian. */
#define BYTEORDER 1234

/* The hash salt's entropy. Windows: rand_s (xmlparse.c asks for it with
   _CRT_RAND_S). Linux: getrandom, which glibc has had since 2.25, and
   /dev/urandom when the kernel has no getrandom. */
#if !defined(_WIN32)
#define HAVE_GETRANDOM 1
#define XML_DEV_URANDOM 1
#endif

/* Document type declarations are refused, but expat counts what entities
   would amplify only with XML_DTD: on, so a hostile document never expands
   unbounded before the refusal. No external entity is ever loaded: no
   handler for them is set. */
#define XML_DTD 1

/* Without namespace processing: the root is <assembly> under any prefix,
   and a manifest is refused for its well-formedness, not for its prefixes. */

#define XML_CONTEXT_BYTES 1024

#endif
