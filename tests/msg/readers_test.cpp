// The program's .msg files opened by other programs: python3-olefile, olecfinfo and
// olecfexport (libolecf) and msgconvert (Email::Outlook::Message). Native builds only; a
// reader that is not installed skips its checks.

#include <gtest/gtest.h>

#ifndef _WIN32

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "msg_driver.h"
#include "platform/text.h"
#include "support/temp_dir.h"

namespace {

bool have(const char* program) {
    std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

std::string quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs a shell command; its exit status and everything it printed.
int run(const std::string& command, std::string* output = nullptr) {
    std::string text;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return -1;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    int status = pclose(pipe);
    if (output) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const char* olefile_check = R"PY(
import sys, olefile
o = olefile.OleFileIO(sys.argv[1], raise_defects=olefile.DEFECT_UNSURE)
for p in o.listdir(): o.openstream(p).read()
print(o.parsing_issues)
sys.exit(1 if o.parsing_issues else 0)
)PY";

struct eml {
    std::string subject, to, body;
};

// The unfolded header fields and the body of msgconvert's output.
eml parse_eml(const std::string& text) {
    eml out;
    size_t end = text.find("\r\n\r\n"), gap = 4;
    if (end == std::string::npos) end = text.find("\n\n"), gap = 2;
    std::string head = text.substr(0, end), current;
    out.body = end == std::string::npos ? "" : text.substr(end + gap);
    auto take = [&] {
        if (current.rfind("Subject: ", 0) == 0) out.subject = current.substr(9);
        if (current.rfind("To: ", 0) == 0) out.to = current.substr(4);
        current.clear();
    };
    size_t at = 0;
    while (at <= head.size()) {
        size_t nl = head.find('\n', at);
        std::string line = head.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
            current += line;
        } else {
            take();
            current = line;
        }
        if (nl == std::string::npos) break;
        at = nl + 1;
    }
    take();
    return out;
}

class Readers : public ::testing::Test {
  protected:
    std::string save(const std::string& name, const msg_input& input) {
        return save_message_file(dir_.path().string(), platform::utf8_to_utf16(name), input);
    }
    std::string file(const std::string& name) const { return dir_.file(name); }

    void all_readers_open(const std::string& path) {
        if (have("/usr/bin/python3") && run("/usr/bin/python3 -c 'import olefile'") == 0) {
            std::string out;
            std::ofstream(file("check.py")) << olefile_check;
            EXPECT_EQ(run("/usr/bin/python3 " + quote(file("check.py")) + " " + quote(path), &out),
                      0)
                << out;
        }
        if (have("olecfinfo")) {
            std::string out;
            EXPECT_EQ(run("olecfinfo " + quote(path), &out), 0) << out;
            EXPECT_NE(out.find("Root Entry"), std::string::npos) << out;
        }
        if (have("olecfexport")) {
            std::string out, target = path + ".out";
            run("olecfexport -t " + quote(target) + " " + quote(path), &out);
            EXPECT_EQ(out.find("nable"), std::string::npos) << out;
            EXPECT_EQ(run("test -d " + quote(target + ".export")), 0) << out;
        }
    }

    // msgconvert's view of the file; false when msgconvert is missing.
    bool convert(const std::string& path, eml& out, std::string* warnings = nullptr) {
        if (!have("msgconvert")) return false;
        std::string text, eml_path = path + ".eml";
        EXPECT_EQ(run("msgconvert --outfile " + quote(eml_path) + " " + quote(path), &text), 0)
            << text;
        if (warnings) *warnings = text;
        out = parse_eml(read_file(eml_path));
        last_eml_ = read_file(eml_path);
        return true;
    }

    temp_dir dir_;
    std::string last_eml_;
};

// msgconvert prints a header made only of characters up to U+00FF as Latin-1 bytes, one
// with wider characters as UTF-8.
std::string as_printed(const std::u16string& text) {
    std::string latin1;
    for (char16_t c : text) {
        if (c > 0xFF) return platform::utf16_to_utf8(text);
        latin1 += static_cast<char>(c);
    }
    return latin1;
}

const std::u16string ascii_headers =
    u"From: Ann Doe <ann@example.org>\r\n"
    u"To: \"Smith, Bob\" <bob@example.com>, carol@example.net\r\n"
    u"Subject: Quarterly figures\r\n"
    u"Date: Tue, 1 Jul 2003 10:52:37 +0200\r\n"
    u"Message-ID: <123@example.org>\r\n"
    u"\r\n";

}  // namespace

TEST_F(Readers, PlainMessage) {
    msg_input input{u"\"Smith, Bob\" <bob@example.com>, carol@example.net", u"Quarterly figures",
                    ascii_headers + u"Hello Bob,\r\nthe figures are attached.\r\n", true};
    std::string path = save("Ann_Bob_Quarterly.000002A0.msg", input);
    all_readers_open(path);
    eml out;
    if (!convert(path, out)) GTEST_SKIP() << "msgconvert is not installed";
    EXPECT_EQ(out.subject, "Quarterly figures");
    EXPECT_EQ(out.to, "\"Smith, Bob\" <bob@example.com>, carol@example.net");
    EXPECT_EQ(out.body, platform::utf16_to_utf8(body_of(*input.text))) << last_eml_;
    std::printf("---- msgconvert output ----\n%s---- end ----\n", last_eml_.c_str());
}

TEST_F(Readers, NonAsciiBody) {
    std::u16string body = u"Gr\u00fc\u00dfe aus M\u00fcnchen \u20ac 5\r\n\u65e5\u672c\u8a9e\r\n";
    msg_input input{u"\"Smith, Bob\" <bob@example.com>, carol@example.net", u"Quarterly figures",
                    ascii_headers + body, true};
    std::string path = save("body.msg", input);
    all_readers_open(path);
    eml out;
    if (!convert(path, out)) GTEST_SKIP() << "msgconvert is not installed";
    EXPECT_EQ(out.body, platform::utf16_to_utf8(body_of(*input.text))) << last_eml_;
}

TEST_F(Readers, NonAsciiSubjectAndRecipients) {
    std::u16string subject = u"R\u00e9sum\u00e9 f\u00fcr J\u00f6rg";
    std::u16string to = u"J\u00f6rg M\u00fcller <jm@example.de>";
    std::u16string text = u"From: ann@example.org\r\nTo: " + to + u"\r\nSubject: " + subject +
                          u"\r\nDate: 1 Jul 2003 10:52:37 +0200\r\n\r\nplain body\r\n";
    std::string path = save("subject.msg", {to, subject, text, false});
    all_readers_open(path);
    eml out;
    if (!convert(path, out)) GTEST_SKIP() << "msgconvert is not installed";
    EXPECT_EQ(out.subject, as_printed(subject)) << last_eml_;
    EXPECT_EQ(out.to, as_printed(to)) << last_eml_;
}

// Without To and Subject lines in the text, msgconvert builds both from the properties.
TEST_F(Readers, RecipientsAndSubjectFromProperties) {
    std::u16string subject = u"\u65e5\u672c \u20ac R\u00e9sum\u00e9";
    // An ASCII body: msgconvert double-encodes the body of a file whose headers it prints
    // with wide characters (its fault, not the file's).
    std::u16string text = u"From: ann@example.org\r\n\r\nGreetings\r\n";
    msg_input input{u"\"Smith, Bob\" <bob@example.com>, carol@example.net, Team:;", subject, text,
                    true};
    std::string path = save("properties.msg", input);
    all_readers_open(path);
    eml out;
    if (!convert(path, out)) GTEST_SKIP() << "msgconvert is not installed";
    EXPECT_EQ(out.to, "Smith, Bob <bob@example.com>, carol@example.net <carol@example.net>")
        << last_eml_;
    EXPECT_EQ(out.subject, as_printed(subject)) << last_eml_;
    EXPECT_EQ(out.body, platform::utf16_to_utf8(body_of(text))) << last_eml_;
}

TEST_F(Readers, LargeMessage) {
    std::u16string text = ascii_headers;
    while (text.size() < (size_t{4} << 20))
        text += u"a line of a long message \u00e4\u00f6\u00fc\r\n";
    std::string path = save("large.msg", {u"bob@example.com", u"Quarterly figures", text, true});
    all_readers_open(path);
    eml out;
    if (!convert(path, out)) GTEST_SKIP() << "msgconvert is not installed";
    EXPECT_TRUE(out.body == platform::utf16_to_utf8(body_of(text)));
}

#endif
