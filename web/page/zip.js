// A .zip archive of files kept as they are (no compression: song files are small and already compact), so that
// several songs are saved as one download. Names are written in UTF-8 and marked so; every entry carries the
// same fixed date (1 January 1980), so the same songs always give the same archive. Entries say they were made
// on Unix, as plain files readable by all and writable by their owner: an archive that says MS-DOS has its
// names converted through a DOS code page by some readers despite the UTF-8 mark, and one that says Unix
// without a file mode extracts files nobody can read.
const LOCAL_HEADER = 0x04034b50;
const CENTRAL_HEADER = 0x02014b50;
const END_OF_CENTRAL = 0x06054b50;
const VERSION_NEEDED = 20;       // 2.0: plain stored entries
const MADE_BY_UNIX = (3 << 8) | VERSION_NEEDED;
const REGULAR_FILE_644 = (0o100644 << 16) >>> 0;   // external attributes: the Unix mode in the high half
const UTF8_NAMES = 0x0800;       // general purpose flag bit 11
const STORED = 0;
const DOS_DATE_1980_01_01 = (1 << 5) | 1;
const LOCAL_SIZE = 30;
const CENTRAL_SIZE = 46;
const END_SIZE = 22;

const CRC_TABLE = (() => {
  const table = new Uint32Array(256);
  for (let n = 0; n < 256; n += 1) {
    let c = n;
    for (let k = 0; k < 8; k += 1) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    table[n] = c >>> 0;
  }
  return table;
})();

export function crc32(bytes) {
  let crc = 0xffffffff;
  for (const byte of bytes) crc = CRC_TABLE[(crc ^ byte) & 0xff] ^ (crc >>> 8);
  return (crc ^ 0xffffffff) >>> 0;
}

// Names made unique within the archive: a second "song.sq2" becomes "song (2).sq2".
function uniqueNames(names) {
  const taken = new Set();
  return names.map((name) => {
    const dot = name.lastIndexOf('.');
    const [stem, ext] = dot > 0 ? [name.slice(0, dot), name.slice(dot)] : [name, ''];
    let unique = name;
    for (let n = 2; taken.has(unique.toLowerCase()); n += 1) unique = `${stem} (${n})${ext}`;
    taken.add(unique.toLowerCase());
    return unique;
  });
}

// files: [{name, bytes: Uint8Array}] -> {bytes: Uint8Array of the archive, names: the names in it}.
export function zipFiles(files) {
  const names = uniqueNames(files.map((file) => file.name));
  const encoder = new TextEncoder();
  const entries = files.map((file, i) => ({ name: encoder.encode(names[i]), bytes: file.bytes, crc: crc32(file.bytes) }));
  const dataSize = entries.reduce((sum, e) => sum + LOCAL_SIZE + e.name.length + e.bytes.length, 0);
  const centralSize = entries.reduce((sum, e) => sum + CENTRAL_SIZE + e.name.length, 0);
  const out = new Uint8Array(dataSize + centralSize + END_SIZE);
  const view = new DataView(out.buffer);
  let at = 0;
  const u16 = (value) => { view.setUint16(at, value, true); at += 2; };
  const u32 = (value) => { view.setUint32(at, value, true); at += 4; };
  const put = (bytes) => { out.set(bytes, at); at += bytes.length; };
  // The fields a local header and a central record share, from "version needed" to the name's length.
  const common = (e) => {
    u16(VERSION_NEEDED); u16(UTF8_NAMES); u16(STORED); u16(0); u16(DOS_DATE_1980_01_01);
    u32(e.crc); u32(e.bytes.length); u32(e.bytes.length); u16(e.name.length);
  };

  for (const e of entries) {
    e.offset = at;
    u32(LOCAL_HEADER); common(e); u16(0);
    put(e.name); put(e.bytes);
  }
  const centralAt = at;
  for (const e of entries) {
    u32(CENTRAL_HEADER); u16(MADE_BY_UNIX); common(e);
    u16(0); u16(0); u16(0); u16(0); u32(REGULAR_FILE_644); u32(e.offset);
    put(e.name);
  }
  u32(END_OF_CENTRAL); u16(0); u16(0); u16(entries.length); u16(entries.length);
  u32(centralSize); u32(centralAt); u16(0);
  return { bytes: out, names };
}
