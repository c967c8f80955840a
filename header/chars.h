#pragma once
// Byte classes and values shared by the readers of header and body text.

// SP or HTAB: the blanks of a line.
inline bool hdr_is_wsp(char byte) {
    return byte == ' ' || byte == '\t';
}

// SP, HTAB, CR or LF: blanks and the bytes of a line break.
inline bool hdr_is_space_or_line_end(char byte) {
    return hdr_is_wsp(byte) || byte == '\r' || byte == '\n';
}

// The value of a hexadecimal digit of either case; -1 for any other byte.
inline int hdr_hex_digit(char byte) {
    if (byte >= '0' && byte <= '9') return byte - '0';
    if (byte >= 'a' && byte <= 'f') return byte - 'a' + 10;
    if (byte >= 'A' && byte <= 'F') return byte - 'A' + 10;
    return -1;
}
