// Plausible mail for synthetic stores: the header fields a mail client of the time wrote,
// with the usual variety of names, encodings and date forms.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/dbxgen/dbxgen.h"

namespace dbxgen {

std::string escaped_byte(char mark, uint8_t byte) {
    static const char hex_digits[] = "0123456789ABCDEF";
    return {mark, hex_digits[byte >> 4], hex_digits[byte & 15]};
}

std::string base64(std::string_view bytes) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = uint32_t(uint8_t(bytes[i])) << 16;
        if (i + 1 < bytes.size()) group |= uint32_t(uint8_t(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size()) group |= uint8_t(bytes[i + 2]);
        out += alphabet[group >> 18];
        out += alphabet[(group >> 12) & 63];
        out += i + 1 < bytes.size() ? alphabet[(group >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? alphabet[group & 63] : '=';
    }
    return out;
}

std::string q_encode(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        uint8_t byte = uint8_t(c);
        if (byte == ' ') {
            out += '_';
        } else if (byte < 0x80 && byte != '=' && byte != '?' && byte != '_' && byte > 0x20) {
            out += c;
        } else {
            out += escaped_byte('=', byte);
        }
    }
    return out;
}

namespace {

template <size_t N>
const char* pick(random_source& random, const char* const (&pool)[N]) {
    return pool[random.below(N)];
}

const char* const first_names[] = {"Anna",  "Bernd", "Claire", "David", "Elena", "Frank",
                                   "Greta", "Hugo",  "Ines",   "Jonas", "Karen", "Lars",
                                   "Maria", "Nils",  "Olga",   "Peter", "Rita",  "Simon"};
const char* const last_names[] = {"Adams",  "Becker", "Carter",  "Dubois", "Evans",  "Fischer",
                                  "Garcia", "Hansen", "Ivanova", "Jensen", "Keller", "Larsen"};
// Names with letters beyond ASCII, in UTF-8 and in Latin-1.
const char* const utf8_names[] = {"J\xC3\xBCrgen M\xC3\xBCller", "Zo\xC3\xAB Ren\xC3\xA9",
                                  "\xC5\x81ukasz Nowak", "S\xC3\xB8ren Kj\xC3\xA6r",
                                  "Fran\xC3\xA7ois Lef\xC3\xA8vre"};
const char* const latin1_names[] = {"J\xFCrgen M\xFCller", "Zo\xEB Ren\xE9",
                                    "Jos\xE9 Pe\xF1"
                                    "a",
                                    "S\xF8ren Kj\xE6r", "Fran\xE7ois Lef\xE8vre"};
const char* const domains[] = {"example.com",     "example.org",   "mail.example.net",
                               "post.example.de", "example.co.uk", "uni-example.edu"};
const char* const subjects[] = {"Meeting on Thursday",
                                "Re: your order",
                                "Fwd: photos from the trip",
                                "Invoice 2003-114",
                                "Lunch?",
                                "Re: Re: project plan",
                                "Minutes of the board meeting",
                                "Happy birthday!",
                                "Question about the contract",
                                "New address",
                                "Re: holiday plans",
                                "Weekly report"};
const char* const latin1_subjects[] = {
    "Gr\xFC\xDF"
    "e aus M\xFCnchen",
    "R\xE9sum\xE9 ci-joint", "Caf\xE9 am Freitag?", "\xC0 bient\xF4t"};
const char* const utf8_subjects[] = {
    "Gr\xC3\xBC\xC3\x9F"
    "e aus M\xC3\xBCnchen",
    "R\xC3\xA9sum\xC3\xA9 ci-joint", "Caf\xC3\xA9 am Freitag?", "\xC3\x80 bient\xC3\xB4t"};
const char* const words[] = {
    "the",      "meeting", "we",   "will",   "send",    "report",  "please",  "find",
    "attached", "thank",   "you",  "for",    "your",    "message", "about",   "next",
    "week",     "and",     "to",   "a",      "of",      "in",      "is",      "it",
    "call",     "me",      "when", "office", "project", "figures", "morning", "regards"};
const char* const weekdays[] = {"Thu", "Fri", "Sat", "Sun",
                                "Mon", "Tue", "Wed"};  // 1970-01-01 was a Thursday
const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const zones[] = {"+0000", "+0100", "+0200", "-0500", "-0800", "GMT", "EST", "PDT"};

// A text as it appears in a header: plain, as an encoded word, or as raw 8-bit bytes.
std::string header_text(random_source& random, const char* ascii, const char* latin1,
                        const char* utf8) {
    switch (random.below(6)) {
        case 0:
            return "=?iso-8859-1?Q?" + q_encode(latin1) + "?=";
        case 1:
            return "=?utf-8?B?" + base64(utf8) + "?=";
        case 2:
            return latin1;
        default:
            return ascii;
    }
}

std::string mailbox(random_source& random) {
    std::string first = pick(random, first_names);
    std::string last = pick(random, last_names);
    std::string address = first + "." + last + "@" + pick(random, domains);
    for (char& c : address) c = char(std::tolower(uint8_t(c)));
    size_t odd = random.below(5);
    unsigned form = unsigned(random.below(5));
    if (form == 0) return address;
    std::string text;
    if (form == 1) {
        text.append("<").append(address).append(">");
        return text;
    }
    std::string name =
        header_text(random, (first + " " + last).c_str(), latin1_names[odd], utf8_names[odd]);
    if (form == 2)
        text.append("\"").append(name).append("\" <").append(address).append(">");
    else
        text.append(name).append(" <").append(address).append(">");
    return text;
}

// A date between 1999 and 2006 in one of the forms mail clients wrote.
std::string date_text(random_source& random) {
    int64_t day_number = random.between(10592, 13514);  // 1999-01-01 .. 2006-12-31
    // Civil date from days since 1970 (Howard Hinnant's algorithm).
    int64_t z = day_number + 719468;
    int64_t era = z / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int day = int(doy - (153 * mp + 2) / 5 + 1);
    int month = int(mp < 10 ? mp + 3 : mp - 9);
    int year = int(yoe + era * 400 + (month <= 2));
    int hour = int(random.below(24)), minute = int(random.below(60)),
        second = int(random.below(60));
    const char* weekday = weekdays[day_number % 7];
    const char* zone = pick(random, zones);
    char text[80];
    switch (random.below(5)) {
        case 0:
            std::snprintf(text, sizeof text, "%s, %d %s %d %02d:%02d:%02d %s", weekday, day,
                          months[month - 1], year, hour, minute, second, zone);
            break;
        case 1:
            std::snprintf(text, sizeof text, "%d %s %d %02d:%02d:%02d %s", day, months[month - 1],
                          year, hour, minute, second, zone);
            break;
        case 2:
            std::snprintf(text, sizeof text, "%s, %02d %s %d %02d:%02d %s", weekday, day,
                          months[month - 1], year, hour, minute, zone);
            break;
        case 3:
            std::snprintf(text, sizeof text, "%s, %d %s %02d %d:%02d:%02d %s", weekday, day,
                          months[month - 1], year % 100, hour, minute, second, zone);
            break;
        default:
            std::snprintf(text, sizeof text, "%s, %d %s %d %02d:%02d:%02d +0100 (CET)", weekday,
                          day, months[month - 1], year, hour, minute, second);
            break;
    }
    return text;
}

std::string message_id(random_source& random) {
    char text[96];
    std::snprintf(text, sizeof text, "<%012llX$%08llX@%s>",
                  static_cast<unsigned long long>(random.next() & 0xFFFFFFFFFFFFull),
                  static_cast<unsigned long long>(random.next() & 0xFFFFFFFFull),
                  pick(random, domains));
    return text;
}

}  // namespace

std::string body_text(random_source& random, size_t bytes) {
    std::string body;
    size_t line = 0;
    while (body.size() < bytes) {
        std::string word = pick(random, words);
        if (line == 0 && !word.empty()) word[0] = char(std::toupper(uint8_t(word[0])));
        body += word;
        line += word.size() + 1;
        if (line > 60 + random.below(12)) {
            body += random.chance(15) ? ".\r\n\r\n" : "\r\n";
            line = 0;
        } else {
            body += ' ';
        }
    }
    return body + "\r\n";
}

std::string message_head(random_source& random) {
    size_t odd = random.below(4);
    std::string subject =
        header_text(random, pick(random, subjects), latin1_subjects[odd], utf8_subjects[odd]);
    if (random.chance(20))
        subject =
            "=?windows-1252?Q?" + q_encode(latin1_subjects[odd]) + "?= " + pick(random, subjects);
    std::string text;
    text += "From: " + mailbox(random) + "\r\n";
    text += "To: " + mailbox(random) + "\r\n";
    if (random.chance(25)) text += "Cc: " + mailbox(random) + ",\r\n\t" + mailbox(random) + "\r\n";
    text += "Subject: " + subject + "\r\n";
    text += "Date: " + date_text(random) + "\r\n";
    text += "Message-ID: " + message_id(random) + "\r\n";
    return text;
}

std::string make_message(random_source& random, size_t body_bytes) {
    std::string text = message_head(random);
    text += "MIME-Version: 1.0\r\n";
    text += "Content-Type: text/plain;\r\n\tcharset=\"iso-8859-1\"\r\n";
    text += "Content-Transfer-Encoding: 8bit\r\n";
    if (random.chance(50)) text += "X-Priority: 3\r\n";
    text += "X-Mailer: Microsoft Outlook Express 6.00.2800.1158\r\n\r\n";
    return text + body_text(random, body_bytes);
}

std::string make_attachment_message(random_source& random, uint64_t attachment_bytes) {
    std::string text = message_head(random);
    text += "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"part\"\r\n\r\n";
    text += "--part\r\nContent-Type: text/plain; charset=\"us-ascii\"\r\n\r\n";
    text += body_text(random, 200);
    text += "\r\n--part\r\nContent-Type: application/octet-stream; name=\"data.bin\"\r\n";
    text += "Content-Transfer-Encoding: base64\r\n";
    text += "Content-Disposition: attachment; filename=\"data.bin\"\r\n\r\n";
    std::string bytes(57, '\0');
    for (uint64_t done = 0; done < attachment_bytes; done += bytes.size()) {
        bytes.resize(size_t(std::min<uint64_t>(57, attachment_bytes - done)));
        for (char& c : bytes) c = char(random.next() >> 24);
        text += base64(bytes) + "\r\n";
    }
    return text + "--part--\r\n";
}

}  // namespace dbxgen
