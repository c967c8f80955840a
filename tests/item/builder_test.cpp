// What the item builder makes of message texts as mailers wrote them, broken ones
// included: the bodies, attachments and embedded messages of the file, read back with the
// project's own strict reader. Each row is one message; a failing row names itself.

#include "item/builder.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "cfb_reader.h"
#include "item/state.h"
#include "mail_files.h"
#include "mime/reader.h"
#include "msg/message.h"
#include "platform/text.h"

namespace {

constexpr uint32_t pr_body = 0x1000001F, pr_subject = 0x0037001F, pr_has_attach = 0x0E1B000B,
                   pr_long_name = 0x3707001F, pr_mime_tag = 0x370E001F, pr_hidden = 0x7FFE000B,
                   pr_method = 0x37050003, pr_flags = 0x0E070003, pr_code_page = 0x3FDE0003;

std::string write(const std::string& text) {
    std::string out;
    msg::write_message(item::build_item(text, {}, {}, true), [&](const char* data, size_t size) {
        out.append(data, size);
        return true;
    });
    return out;
}

struct attachment_seen {
    std::string name, data, type;
    int method = 0;
    bool hidden = false;
    bool has_data = false;
};

struct message_seen {
    std::string body, html;
    std::vector<attachment_seen> attachments;
    uint64_t has_attach = 0;
};

std::string stream(const cfb_file& file, const std::string& path) {
    const cfb_entry* e = file.find(path);
    return e ? e->data : std::string();
}

uint64_t fixed(const cfb_file& file, const std::string& storage, uint32_t tag) {
    std::string path =
        storage.empty() ? "__properties_version1.0" : storage + "/__properties_version1.0";
    size_t header = storage.empty() ? 32 : storage.find('#') + 9 == storage.size() ? 8 : 24;
    auto values = read_properties(stream(file, path), header).values;
    return values.count(tag) ? values[tag] : 0;
}

message_seen seen(const cfb_file& file, const std::string& storage = "") {
    message_seen out;
    std::string prefix = storage.empty() ? "" : storage + "/";
    out.body = platform::utf16_to_utf8(string_property(file, storage, pr_body));
    out.html = stream(file, prefix + "__substg1.0_10130102");
    out.has_attach = fixed(file, storage, pr_has_attach);
    for (const std::string& name : file.list(storage)) {
        if (name.rfind("__attach_version1.0_#", 0) != 0) continue;
        std::string at = prefix + name;
        attachment_seen a;
        a.name = platform::utf16_to_utf8(string_property(file, at, pr_long_name));
        a.type = platform::utf16_to_utf8(string_property(file, at, pr_mime_tag));
        a.data = stream(file, at + "/__substg1.0_37010102");
        a.has_data = file.find(at + "/__substg1.0_37010102") != nullptr;
        a.method = static_cast<int>(fixed(file, at, pr_method));
        a.hidden = fixed(file, at, pr_hidden) != 0;
        out.attachments.push_back(a);
    }
    return out;
}

const char* const head = "From: Ann <ann@example.com>\r\nTo: bob@example.com\r\nSubject: s\r\n";

struct row {
    const char* what;
    std::string text;
    std::string body;  // the plain body, exactly
    bool html;
    std::vector<std::pair<std::string, std::string>> attachments;  // names and bytes
    std::string html_bytes = {};  // the HTML as stored, when the row says
    uint64_t code_page = 65001;   // the message's Internet code page
};

std::vector<row> rows() {
    using namespace std::string_literals;
    std::string h = head;
    return {
        {"alternative",
         h + "Content-Type: multipart/alternative; boundary=b\r\n\r\n--b\r\n"
             "Content-Type: text/plain\r\n\r\nHello\r\n--b\r\nContent-Type: "
             "text/html\r\n\r\n<b>Hello</b>\r\n--b--\r\n",
         "Hello",
         true,
         {}},
        {"mixed, base64 PDF with an RFC 2231 name",
         h + "Content-Type: multipart/mixed; boundary=\"x y\"\r\n\r\npreamble\r\n--x y\r\n\r\n"
             "Body\r\n--x y\r\nContent-Type: application/pdf\r\nContent-Transfer-Encoding: "
             "base64\r\nContent-Disposition: attachment;\r\n filename*=utf-8''%E2%82%AC%20"
             "rate.pdf\r\n\r\nJVBERi0x\r\n--x y--\r\nepilogue\r\n",
         "Body",
         false,
         {{"\xE2\x82\xAC rate.pdf", "%PDF-1"}}},
        {"no final boundary, boundary line with trailing blanks",
         h + "Content-Type: multipart/mixed; boundary=q\r\n\r\n--q  \r\n\r\nText\r\n--q\t\r\n"
             "Content-Type: image/png\r\nContent-Transfer-Encoding: base64\r\n\r\niVBORw==\r\n",
         "Text",
         false,
         {{"part1.png", "\x89PNG"}}},
        {"base64 with line noise and padding mid-way",
         h + "Content-Type: text/plain\r\nContent-Transfer-Encoding: BASE64\r\n\r\n"
             "SGVs bG8=\r\n!!\r\nIHdvcmxk\r\n",
         "Hello world",
         false,
         {}},
        {"charset in odd case and quotes, quoted-printable",
         h + "Content-Type: TEXT/Plain; CHARSET=\"Iso-8859-1\"\r\nContent-Transfer-Encoding: "
             "Quoted-Printable\r\n\r\ncaf=E9 =\r\nau lait  \r\n=3D end",
         "caf\xC3\xA9 au lait\r\n= end",
         false,
         {}},
        {"part without Content-Type, nested multipart without boundary",
         h + "Content-Type: multipart/mixed; boundary=o\r\n\r\n--o\r\n\r\nplain\r\n--o\r\n"
             "Content-Type: multipart/related\r\n\r\nraw bytes\r\n--o--\r\n",
         "plain",
         false,
         {{"part1.dat", "raw bytes"}}},
        {"HTML only: the plain body is its text",
         h + "Content-Type: text/html; charset=windows-1252\r\n\r\n<html><head><title>t</title>"
             "</head><body><p>Hi &amp; bye</p><!-- x > y -->caf\xE9<br>end</body></html>",
         "Hi & bye\r\ncaf\xC3\xA9\r\nend",
         true,
         {},
         "",
         1252},
        {"encoded-word name, LF line ends",
         std::string("Subject: s\nContent-Type: multipart/mixed; boundary=z\n\n--z\n\nBody\n"
                     "--z\nContent-Type: text/plain; name=\"=?iso-8859-1?Q?r=E9sum=E9.txt?=\"\n"
                     "Content-Disposition: attachment\n\nCV\n--z--\n"),
         "Body",
         false,
         {{"r\xC3\xA9sum\xC3\xA9.txt", "CV"}}},
        {"an attachment of no bytes",
         h + "Content-Type: multipart/mixed; boundary=e\r\n\r\n--e\r\n\r\nBody\r\n--e\r\n"
             "Content-Disposition: attachment; filename=empty.txt\r\n\r\n--e--\r\n",
         "Body",
         false,
         {{"empty.txt", ""}}},
        {"no header block at all", "\r\njust a body", "just a body", false, {}},
        {"a NUL in the text is dropped, one in a binary part kept",
         h + "Content-Type: multipart/mixed; boundary=n\r\n\r\n--n\r\n\r\nBo\0dy\r\n--n\r\n"
             "Content-Type: application/octet-stream; name=ab.bin\r\n\r\nAB\0CD\r\n--n--\r\n"s,
         "Body",
         false,
         {{"ab.bin", "AB\0CD"s}}},
        {"uuencoded line whose trailing blanks were stripped in transit",
         h + "Content-Type: multipart/mixed; boundary=u\r\n\r\n--u\r\n\r\nBody\r\n--u\r\n"
             "Content-Transfer-Encoding: x-uuencode\r\n\r\nbegin 644 z.bin\r\n&2&D\r\n`\r\nend\r\n"
             "--u--\r\n",
         "Body",
         false,
         {{"z.bin", "Hi\0\0\0\0"s}}},
        {"enclosed message cut short in its header: the part's bytes, named so",
         h + "Content-Type: multipart/mixed; boundary=t\r\n\r\n--t\r\n\r\nBody\r\n--t\r\n"
             "Content-Type: message/rfc822\r\nFrom: x@example.com\r\nSubject: cut\r\n",
         "Body",
         false,
         {{"part1 (truncated).eml",
           "Content-Type: message/rfc822\r\nFrom: x@example.com\r\nSubject: cut\r\n"}}},
        {"UTF-16 without a byte-order mark, little-endian as its bytes show",
         h + "Content-Type: text/plain; charset=utf-16\r\nContent-Transfer-Encoding: base64\r\n\r\n"
             "SABpACAA6QA=",
         "Hi \xC3\xA9",
         false,
         {}},
        {"HTML keeps its bytes in its charset, the code page names it",
         h + "Content-Type: text/html; charset=windows-1251\r\n\r\n<html><head><meta "
             "http-equiv=Content-Type content=\"text/html; charset=windows-1251\"></head>"
             "<body>\xCF\xF0\xE8</body></html>",
         "\u041f\u0440\u0438",
         true,
         {},
         "<html><head><meta http-equiv=Content-Type content=\"text/html; charset=windows-1251\">"
         "</head><body>\xCF\xF0\xE8</body></html>",
         1251},
        {"HTML of no known charset is UTF-8, and its tag says so",
         h + "Content-Type: text/html\r\n\r\n<meta charset='x-user-defined'><p>caf\xE9</p>",
         "caf\xC3\xA9",
         true,
         {},
         "<meta charset='utf-8'><p>caf\xC3\xA9</p>"},
        {"HTML only, a NUL in it",
         h + "Content-Type: text/html\r\n\r\n<p>a\0b</p>"s,
         "ab",
         true,
         {}},
    };
}

TEST(MimeMessages, BrokenAndOrdinaryFormsBecomeBodiesAndAttachments) {
    std::vector<row> table = rows();
    for (size_t i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(table[i].what);
        cfb_file file = read_cfb(write(table[i].text));
        ASSERT_EQ(check_message(file), std::vector<std::string>());
        message_seen m = seen(file);
        EXPECT_EQ(m.body, table[i].body);
        EXPECT_EQ(!m.html.empty(), table[i].html);
        if (!table[i].html_bytes.empty()) {
            EXPECT_EQ(m.html, table[i].html_bytes);
        }
        EXPECT_EQ(fixed(file, "", pr_code_page), table[i].code_page);
        ASSERT_EQ(m.attachments.size(), table[i].attachments.size());
        for (size_t a = 0; a < m.attachments.size(); ++a) {
            EXPECT_EQ(m.attachments[a].name, table[i].attachments[a].first);
            EXPECT_EQ(m.attachments[a].data, table[i].attachments[a].second);
            EXPECT_TRUE(m.attachments[a].has_data);  // even an attachment of no bytes
        }
        EXPECT_EQ(m.has_attach, m.attachments.empty() ? 0u : 1u);
    }
}

// An inline image the HTML shows is hidden; an enclosed message becomes an embedded one
// with its own body and attachment, recursively.
TEST(MimeMessages, RelatedImagesAndEmbeddedMessages) {
    std::string inner =
        "Subject: inner\r\nTo: Carol <c@example.org>\r\nContent-Type: "
        "multipart/mixed; boundary=i\r\n\r\n--i\r\n\r\ninner body\r\n--i\r\n"
        "Content-Type: application/zip; name=a.zip\r\n\r\nPK\r\n--i--\r\n";
    std::string text = std::string(head) +
                       "Content-Type: multipart/mixed; boundary=m\r\n\r\n--m\r\n"
                       "Content-Type: multipart/related; boundary=r\r\n\r\n--r\r\n"
                       "Content-Type: text/html\r\n\r\n<img src=\"CID:Pic1@x\">\r\n--r\r\n"
                       "Content-Type: image/gif\r\nContent-ID: <pic1@x>\r\n\r\nGIF8\r\n--r--\r\n"
                       "--m\r\nContent-Type: message/rfc822\r\n\r\n" +
                       inner + "--m--\r\n";
    cfb_file file = read_cfb(write(text));
    ASSERT_EQ(check_message(file), std::vector<std::string>());
    message_seen outer = seen(file);
    EXPECT_EQ(outer.body, "");
    ASSERT_EQ(outer.attachments.size(), 2u);
    EXPECT_TRUE(outer.attachments[0].hidden);
    EXPECT_EQ(outer.attachments[1].method, 5);
    EXPECT_EQ(outer.attachments[1].type, "message/rfc822");
    std::string embedded = "__attach_version1.0_#00000001/__substg1.0_3701000D";
    EXPECT_EQ(platform::utf16_to_utf8(string_property(file, embedded, pr_subject)), "inner");
    message_seen in = seen(file, embedded);
    EXPECT_EQ(in.body, "inner body");
    ASSERT_EQ(in.attachments.size(), 1u);
    EXPECT_EQ(in.attachments[0].name, "a.zip");
    EXPECT_EQ(in.attachments[0].data, "PK");
    EXPECT_EQ(fixed(file, "", pr_flags), 0x11u);  // read, has attachments
}

// One message for each way real mail used to come out wrong (tests/item/mail): what the item
// shows of it. An embedded message is shown as "subject / body" in place of its bytes.
struct real_mail {
    const char* file;
    std::string subject, body, html;
    std::vector<std::pair<std::string, std::string>> attachments;
};

const real_mail real_mail_table[] = {
    {"1-folded-fields.eml",
     "The new catalogue is Now Available!",
     "See the picture.",
     "",
     {{"a.gif", "GIF89a"}}},
    {"2-invalid-byte.eml",
     "\u041f\u0440\u0438\u0432\u0435\u0442\uFFFD",
     "\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440!\uFFFD\r\n",
     "",
     {}},
    {"3-mbox-line.eml",
     "Fwd: report",
     "See the attached message.",
     "",
     {{"", "Cheap offer / Buy now."}}},
    {"4-uuencode.eml", "The file", "Here it is.", "", {{"hello.txt", "Hello, world!\n"}}},
    {"5-utf7-utf16.eml", "D\u00e9lai", "Fr\u00f6sche + Kr\u00f6ten", "<p>Gr\u00fc\u00dfe</p>", {}},
    {"6-raw-8bit-subject.eml",
     "\u8d27\u5230\u4ed8\u6b3e",
     "\u8d27\u5230\u4ed8\u6b3e\uff0c\u8c22\u8c22\u3002\r\n",
     "",
     {}},
    {"7-iso-2022-jp-extensions.eml", "\u2460\uff71 2003", "\u65e5\u672c\r\n", "", {}},
    {"8-small-forms.eml", "Small forms", "Main text.", "", {{"", "Inner / Inner body.\r\n"}}},
};

TEST(MimeMessages, RealMailFormsGiveTheirText) {
    ASSERT_EQ(mail_files.size(), std::size(real_mail_table));
    for (size_t i = 0; i < mail_files.size(); ++i) {
        const real_mail& want = real_mail_table[i];
        SCOPED_TRACE(want.file);
        ASSERT_EQ(mail_files[i].name, want.file);
        cfb_file file = read_cfb(write(mail_files[i].text));
        ASSERT_EQ(check_message(file), std::vector<std::string>());
        EXPECT_EQ(platform::utf16_to_utf8(string_property(file, "", pr_subject)), want.subject);
        message_seen m = seen(file);
        EXPECT_EQ(m.body, want.body);
        EXPECT_EQ(m.html, want.html);
        ASSERT_EQ(m.attachments.size(), want.attachments.size());
        for (size_t a = 0; a < m.attachments.size(); ++a) {
            std::string data = m.attachments[a].data;
            if (m.attachments[a].method == 5) {
                std::string inner =
                    "__attach_version1.0_#0000000" + std::to_string(a) + "/__substg1.0_3701000D";
                data = platform::utf16_to_utf8(string_property(file, inner, pr_subject)) + " / " +
                       seen(file, inner).body;
            }
            if (m.attachments[a].method != 5) {
                EXPECT_EQ(m.attachments[a].name, want.attachments[a].first);
            }
            EXPECT_EQ(data, want.attachments[a].second);
        }
    }
}

// Messages cut and spliced at random places (the way damaged stores hand them over)
// still give files the strict reader accepts.
TEST(MimeMessages, DamagedTextsStillGiveSoundFiles) {
    std::string whole;
    for (const row& r : rows()) whole += r.text;
    uint32_t state = 12345;
    auto next = [&](size_t limit) {
        state = state * 1103515245 + 12345;
        return limit == 0 ? 0 : (state >> 8) % limit;
    };
    for (int round = 0; round < 300; ++round) {
        std::string text = whole;
        for (int cut = 0; cut < 4; ++cut) {
            size_t from = next(text.size()), length = next(64);
            std::string piece = text.substr(next(text.size()), next(200));
            text.replace(from, length, piece);
        }
        cfb_file file = read_cfb(write(text));
        ASSERT_EQ(check_message(file), std::vector<std::string>()) << "round " << round;
    }
}

// Nesting far past the reader's limit neither exhausts the stack nor loops: the depth
// left over is kept as the raw bytes of one attachment. So are parts past the count limit.
TEST(MimeMessages, DeepNestingEndsInRawBytes) {
    std::string text = "Subject: deep\r\n";
    for (int i = 0; i < 5000; ++i) {
        std::string boundary = "d" + std::to_string(i);
        text += i % 2 ? "Content-Type: message/rfc822\r\n\r\n"
                      : "Content-Type: multipart/mixed; boundary=" + boundary + "\r\n\r\n--" +
                            boundary + "\r\n";
    }
    text += "\r\nbottom\r\n";
    cfb_file file = read_cfb(write(text));
    EXPECT_EQ(check_message(file), std::vector<std::string>());

    // A body of nothing but delimiters makes a bounded number of parts, the rest raw.
    std::string flood = "Content-Type: multipart/mixed; boundary=f\r\n\r\n";
    for (int i = 0; i < 30000; ++i) flood += "--f\r\nContent-Type: image/gif\r\n\r\nx\r\n";
    mime::mime_part parts = mime::read_mime_message(flood);
    ASSERT_EQ(parts.parts.size(), mime::mime_part_limit + 1);
    EXPECT_TRUE(parts.parts.back().unreadable);
}

}  // namespace

// The state the store's index gives a message, as the item carries it; what the index does
// not know keeps the builder's value (read, normal importance, the Date as delivery time).
TEST(MessageState, IndexStateBecomesTheItemsProperties) {
    constexpr uint32_t importance = 0x00170003, priority = 0x00260003, delivery = 0x0E060040,
                       icon = 0x10800003, verb = 0x10810003, flag_status = 0x10900003;
    constexpr uint64_t date_time = 0x01B99460A37C4180;  // Tue, 15 Nov 1994 08:12:31 GMT
    const std::string text =
        "From: a@example.com\r\nDate: Tue, 15 Nov 1994 08:12:31 GMT\r\n"
        "Subject: s\r\n\r\nbody\r\n";
    struct row {
        item::message_state state;
        uint64_t flags, importance, delivery;
        std::optional<uint64_t> priority, verb, icon, flag_status;
    } rows[] = {
        {{}, 0x1, 1, date_time, {}, {}, {}, {}},
        {{false}, 0x0, 1, date_time, {}, {}, {}, {}},
        {{true, true, false, false, 0x01C0000000000000, 1},
         0x1,
         2,
         0x01C0000000000000,
         1,
         0x66,
         0x105,
         {}},
        {{true, false, true, true, 0, 5}, 0x1, 0, date_time, 0xFFFFFFFF, 0x68, 0x106, 2},
        {{false, true, true, false, 0, 3}, 0x0, 1, date_time, 0, 0x66, 0x105, {}},
    };
    for (const row& r : rows) {
        item::message message = item::build_item(text, {}, {}, true);
        item::set_message_state(message, r.state);
        auto value = [&](uint32_t tag) -> std::optional<uint64_t> {
            auto found = message.properties.find(tag);
            if (found == message.properties.end()) return std::nullopt;
            return found->second.fixed;
        };
        SCOPED_TRACE(testing::Message()
                     << "read " << r.state.read << " priority " << r.state.priority);
        EXPECT_EQ(value(pr_flags), r.flags);
        EXPECT_EQ(value(importance), r.importance);
        EXPECT_EQ(value(delivery), r.delivery);
        EXPECT_EQ(value(priority), r.priority);
        EXPECT_EQ(value(verb), r.verb);
        EXPECT_EQ(value(icon), r.icon);
        EXPECT_EQ(value(flag_status), r.flag_status);
    }
}
