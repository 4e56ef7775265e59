/*
 * The virus-base file of the stand-in engine.
 *
 * A base file is a 96-byte header followed by a body of signature records.
 * The daemon reads only the header fields of tarvo_engine_api.h (marker,
 * check word, daily flag, record count and the sort keys); the fields below
 * are the engine's own. The header may be preceded by up to
 * TARVO_BASE_HEADER_WINDOW - 96 bytes of anything: both sides look for the
 * marker in the first TARVO_BASE_HEADER_WINDOW bytes. All numbers are
 * little-endian.
 *
 * Header fields of the engine, offsets from the marker:
 *   4  u16  body format (TARVO_VDB_FORMAT; a newer one is skipped)
 *   6  u16  header size: the body starts this many bytes after the marker
 *   8  u32  body size in bytes
 *   12 u32  body checksum (FNV-1a, 32 bits, over the body bytes)
 *   16 char[28] title, NUL-padded (informative only)
 *
 * Body: records one after another, each
 *   0  u16  record size (TARVO_VDB_RECORD_FIXED + name length + pattern length)
 *   2  u8   class: 0 a marker, else a finding class 1..9 of tarvo_engine_api.h
 *   3  u8   targets: TARVO_VDB_TARGET_* bits
 *   4  u8   cure: TARVO_VDB_CURE_*
 *   5  u8   name length (1..TARVO_VDB_NAME_MAX)
 *   6  u16  pattern length (1..TARVO_VDB_PATTERN_MAX)
 *   8  i32  offset of the pattern in the object, or TARVO_VDB_ANYWHERE
 *   12 u32  result bits that a marker reports (0 for a finding)
 *   16 name bytes (no terminator), then pattern bytes, each XORed with
 *      TARVO_VDB_PATTERN_MASK so that a base file never matches itself.
 *
 * A finding record names what the engine reports through the virus-found
 * service; a marker record reports only its result bits (a damaged or
 * protected object inside a container, for example) under no name.
 */
#ifndef TARVO_ENGINE_VDBFORMAT_H
#define TARVO_ENGINE_VDBFORMAT_H

#include <stdint.h>

#include "engine/tarvo_engine_api.h"

#define TARVO_VDB_FORMAT 1u
#define TARVO_VDB_OFFSET_FORMAT 4      /* u16 */
#define TARVO_VDB_OFFSET_HEADER_SIZE 6 /* u16 */
#define TARVO_VDB_OFFSET_BODY_SIZE 8   /* u32 */
#define TARVO_VDB_OFFSET_CHECKSUM 12   /* u32 */
#define TARVO_VDB_OFFSET_TITLE 16
#define TARVO_VDB_TITLE_SIZE 28

/* The largest body the engine accepts. */
#define TARVO_VDB_BODY_MAX (16u * 1024u * 1024u)

#define TARVO_VDB_RECORD_FIXED 16
#define TARVO_VDB_NAME_MAX 255 /* a finding name and its terminator fill TARVO_FINDING_NAME_SIZE */
#define TARVO_VDB_PATTERN_MAX 4096

#define TARVO_VDB_CLASS_MARKER 0

#define TARVO_VDB_TARGET_FILE 0x1u /* objects: files, memory files, container members */
#define TARVO_VDB_TARGET_BOOT 0x2u /* boot records (512-byte memory objects) */

#define TARVO_VDB_CURE_NONE 0u /* incurable */
#define TARVO_VDB_CURE_WIPE 1u /* overwrite the matched bytes with zeros */
#define TARVO_VDB_CURE_CUT 2u  /* truncate the object where the match begins */

#define TARVO_VDB_ANYWHERE (-1)

/* Marker bits that the engine keeps to itself: a container member marked
 * with them is handed out by command 13 again and again (the same object,
 * or under a new name each time and past the limit: a walk that only a stop
 * ends), or answered with -1, so that a host's walk can be tried against
 * such an engine. */
#define TARVO_VDB_MARKER_REPEAT 0x80000000u
#define TARVO_VDB_MARKER_REFUSE 0x40000000u
#define TARVO_VDB_MARKER_ENDLESS 0x20000000u
/* An object marked so is left open by command 4, its handle where the
 * scan's last read left it, as an engine that forgets to close does. */
#define TARVO_VDB_MARKER_KEEP_OPEN 0x10000000u

#define TARVO_VDB_PATTERN_MASK 0xA5u

#define TARVO_VDB_FNV_OFFSET 2166136261u
#define TARVO_VDB_FNV_PRIME 16777619u

#endif /* TARVO_ENGINE_VDBFORMAT_H */
