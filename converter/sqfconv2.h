// The converter library: turns a Standard MIDI File into our song format. On Windows it is sqfconv2.dll,
// which the program imports; elsewhere a static library.
#pragma once

#if defined(_WIN32) && defined(SQFCONV2_BUILDING_DLL)
#define SQFCONV2_API __declspec(dllexport)
#elif defined(_WIN32) && defined(SQFCONV2_USING_DLL)
#define SQFCONV2_API __declspec(dllimport)
#else
#define SQFCONV2_API
#endif

// Results of ConvertSqfToPK.
#define SQFCONV2_OK 0              /* the output file was written */
#define SQFCONV2_INPUT_MISSING 1   /* the input is missing, unreadable, or not a file */
#define SQFCONV2_INPUT_BROKEN 2    /* the input is not a valid, convertible MIDI file */
#define SQFCONV2_FAILED 3          /* anything else: unknown output kind, bad arguments, output not writable */

#ifdef __cplusplus
extern "C" {
#endif

// Converts the MIDI file at `inputPath` and writes the result next to it, with the same base name:
//   outputKind "4": the song image, extension .sq0 (what is sent to a keyboard);
//   outputKind "5": the song file, extension .sq2 (what the user keeps).
// `modelCode` (at most 2 characters) and `modelInfo` (at most 8) name the keyboard the song is made for; both
// may be empty or null. A failed conversion leaves no output file behind.
SQFCONV2_API int ConvertSqfToPK(const char* inputPath, const char* outputKind, const char* modelCode,
                                const char* modelInfo);

#ifdef __cplusplus
}
#endif
