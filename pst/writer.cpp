#include "pst/writer.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <vector>

#include "item/identity.h"
#include "item/tags.h"
#include "platform/byte_layout.h"
#include "pst/layout.h"
#include "pst/messages.h"
#include "pst/ndb.h"
#include "pst/tables.h"

namespace pst {

using platform::put_le;

namespace {

constexpr uint32_t content_count_tag = 0x36020003, content_unread_tag = 0x36030003,
                   subfolders_tag = 0x360A000B, container_class_tag = 0x3613001F;

constexpr uint32_t message_store_nid = 0x21, name_map_nid = 0x61;
// The search nodes every file carries, empty: the search management queue, the search
// activity list, the search domain object, the search gatherer queue, descriptor and
// folder queue.
constexpr uint32_t search_nids[] = {0x1E1, 0x201, 0x261, 0x281, 0x2A1, 0x321};
constexpr uint32_t root_folder_index = 0x9, first_folder_index = 0x401,
                   first_message_index = 0x10001;
constexpr uint32_t template_index = 0x30, search_table_index = 0x35;
constexpr uint32_t node_search_contents_table = 0x10, node_search_table = 0x16;

// The message store's entry ids of the special folders, and the bits of its valid-folder
// mask saying which it names (the inbox is Outlook's receive folder: no entry id here).
constexpr uint32_t valid_folder_mask_tag = 0x35DF0003, subtree_tag = 0x35E00102,
                   outbox_tag = 0x35E20102, wastebasket_tag = 0x35E30102,
                   sent_mail_tag = 0x35E40102, views_tag = 0x35E50102,
                   common_views_tag = 0x35E60102, finder_tag = 0x35E70102;
constexpr uint32_t all_folders_valid = 0xFF;
// The root folder names the drafts folder.
constexpr uint32_t drafts_tag = 0x36D70102;

// Folder names compared as Outlook compares them: letters without case.
bool same_name(std::u16string_view a, std::u16string_view b) {
    auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [&](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

uint32_t node_id(uint32_t index, uint32_t type) {
    return index << 5 | type;
}

// Remembers whether any write failed, so each message can say so when it is added.
class watched_output : public pst_output {
  public:
    explicit watched_output(pst_output& out) : out_(out) {}
    bool write_at(uint64_t offset, std::string_view bytes) override {
        bool ok = out_.write_at(offset, bytes);
        if (!ok) failed = true;
        return ok;
    }
    bool failed = false;

  private:
    pst_output& out_;
};

}  // namespace

struct pst_writer::impl {
    struct folder {
        uint32_t index = 0;
        folder_id parent = 0;
        std::u16string name;
        std::u16string container_class;
        std::vector<folder_id> children;
        uint32_t unread = 0;
        std::vector<uint32_t> message_nids;
        std::vector<std::string> rows;  // packed contents rows
    };

    impl(pst_output& out, std::u16string_view display, std::string_view identity)
        : watched(out),
          ndb(watched),
          display_name(display),
          record_key(item::md5_key({identity})) {}

    uint32_t folder_nid(folder_id id) const { return node_id(folders[id].index, pst_node_folder); }
    folder_id new_folder(folder_id parent, uint32_t index, std::u16string_view name,
                         std::u16string_view kind);
    std::string entry_id(uint32_t nid) const;
    item::property_map folder_properties(const folder& f) const;
    void add_property_node(uint32_t nid, const item::property_map& properties, uint32_t parent,
                           bool keep_empty = false);
    void add_table_node(uint32_t nid, std::vector<uint32_t> columns,
                        const std::vector<std::pair<uint32_t, item::property_map>>& rows,
                        uint32_t parent);
    void write_folder(folder_id id);
    void write_store();
    void write_name_map();
    void write_templates();

    watched_output watched;
    pst_ndb ndb;
    std::u16string display_name;
    std::string record_key;  // 16 bytes naming this store in every entry id
    std::vector<folder> folders;
    uint32_t next_folder_index = first_folder_index, next_message_index = first_message_index;
    folder_id root = 0, top = 0, search_root = 0, deleted_items = 0, outbox = 0, sent_items = 0,
              drafts = 0, common_views = 0, views = 0;
};

pst_writer::folder_id pst_writer::impl::new_folder(folder_id parent, uint32_t index,
                                                   std::u16string_view name,
                                                   std::u16string_view kind) {
    folder f;
    f.index = index;
    f.parent = parent;
    f.name = name;
    f.container_class = kind;
    folders.push_back(std::move(f));
    folder_id id = static_cast<folder_id>(folders.size() - 1);
    if (id != parent) folders[parent].children.push_back(id);
    return id;
}

// An entry id of this store: four flag bytes, the store's key, the node.
std::string pst_writer::impl::entry_id(uint32_t nid) const {
    std::string id(4, '\0');
    id += record_key;
    put_le(id, nid, 4);
    return id;
}

item::property_map pst_writer::impl::folder_properties(const folder& f) const {
    item::property_map properties;
    properties[item::tags::display_name].text = f.name;
    properties[content_count_tag].fixed = f.message_nids.size();
    properties[content_unread_tag].fixed = f.unread;
    properties[subfolders_tag].fixed = f.children.empty() ? 0 : 1;
    if (!f.container_class.empty()) properties[container_class_tag].text = f.container_class;
    return properties;
}

void pst_writer::impl::add_property_node(uint32_t nid, const item::property_map& properties,
                                         uint32_t parent, bool keep_empty) {
    pst_subnodes subnodes;
    std::vector<std::string> pages =
        pst_property_context(ndb, properties, {}, subnodes, keep_empty);
    uint64_t data = ndb.add_pages(pages);
    ndb.add_node(nid, data, subnodes.finish(ndb), parent);
}

void pst_writer::impl::add_table_node(
    uint32_t nid, std::vector<uint32_t> columns,
    const std::vector<std::pair<uint32_t, item::property_map>>& rows, uint32_t parent) {
    pst_subnodes subnodes;
    pst_table table(ndb, subnodes, std::move(columns));
    for (const auto& [id, row] : rows) table.add_row(id, row);
    std::vector<std::string> pages = table.finish();
    uint64_t data = ndb.add_pages(pages);
    ndb.add_node(nid, data, subnodes.finish(ndb), parent);
}

// A folder is four nodes: its properties, the table of its subfolders, the table of its
// messages and the (empty) table of its associated messages.
void pst_writer::impl::write_folder(folder_id id) {
    folder& f = folders[id];
    uint32_t nid = folder_nid(id);
    item::property_map properties = folder_properties(f);
    if (id == root) properties[drafts_tag].bytes = entry_id(folder_nid(drafts));
    add_property_node(nid, properties, folder_nid(f.parent), true);  // the root's empty name too

    std::vector<std::pair<uint32_t, item::property_map>> children;
    for (folder_id child : f.children)
        children.emplace_back(folder_nid(child), folder_properties(folders[child]));
    add_table_node(node_id(f.index, pst_node_hierarchy_table), pst_hierarchy_columns(), children,
                   0);

    pst_subnodes subnodes;
    pst_table contents(ndb, subnodes, pst_contents_columns());
    for (size_t i = 0; i < f.rows.size(); ++i) {
        contents.add_row(f.message_nids[i], pst_unpack_row(f.rows[i]));
        std::string().swap(f.rows[i]);
    }
    uint64_t data = ndb.add_pages(contents.finish());
    ndb.add_node(node_id(f.index, pst_node_contents_table), data, subnodes.finish(ndb), 0);

    add_table_node(node_id(f.index, pst_node_associated_table), pst_associated_columns(), {}, 0);
}

void pst_writer::impl::write_store() {
    item::property_map store;
    store[0x0FF90102].bytes = record_key;
    store[item::tags::display_name].text = display_name;
    store[item::tags::store_support_mask].fixed = item::store_unicode_ok;
    store[valid_folder_mask_tag].fixed = all_folders_valid;
    const std::pair<uint32_t, folder_id> special[] = {
        {subtree_tag, top},          {outbox_tag, outbox}, {wastebasket_tag, deleted_items},
        {sent_mail_tag, sent_items}, {views_tag, views},   {common_views_tag, common_views},
        {finder_tag, search_root}};
    for (auto [tag, id] : special) store[tag].bytes = entry_id(folder_nid(id));
    store[0x6633000B].fixed = 1;
    store[0x66FA0003].fixed = 0x000E000D;
    store[0x67FF0003].fixed = 0;  // no password
    add_property_node(message_store_nid, store, 0);
}

// The map of named properties. Readers refuse one with empty streams, so it names two
// properties Outlook knows, though no message uses them: the account a message came
// through (a number in PSETID_Common) and the keywords (a name in PS_PUBLIC_STRINGS).
void pst_writer::impl::write_name_map() {
    constexpr uint32_t buckets = 251, account_lid = 0x8580, first_stream_guid = 3,
                       public_strings = 2;
    const std::u16string keywords = u"Keywords";
    std::string names_stream, keywords_bytes;
    for (char16_t c : keywords) put_le(keywords_bytes, c, 2);
    put_le(names_stream, keywords_bytes.size(), 4);
    names_stream += keywords_bytes;

    std::string account, keyword;
    put_le(account, account_lid, 4);
    put_le(account, first_stream_guid << 1, 2);   // a number
    put_le(account, 0, 2);                        // named property 0x8000
    put_le(keyword, 0, 4);                        // where its name starts
    put_le(keyword, public_strings << 1 | 1, 2);  // a name
    put_le(keyword, 1, 2);                        // named property 0x8001
    uint32_t keyword_hash = crc(keywords_bytes);
    std::string keyword_in_bucket = keyword;
    platform::put_le_at(keyword_in_bucket, 0, keyword_hash, 4);

    item::property_map names;
    names[0x00010003].fixed = buckets;
    names[0x00020102].bytes =
        std::string("\x08\x20\x06\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);
    names[0x00030102].bytes = account + keyword;
    names[0x00040102].bytes = names_stream;
    auto bucket_tag = [&](uint32_t hash, uint32_t kind) {
        return (0x1000 + (hash ^ kind) % buckets) << 16 | 0x0102;
    };
    for (uint32_t i = 0; i < buckets; ++i) names[(0x1000 + i) << 16 | 0x0102];
    names[bucket_tag(account_lid, first_stream_guid << 1)].bytes += account;
    names[bucket_tag(keyword_hash, public_strings << 1 | 1)].bytes += keyword_in_bucket;
    pst_subnodes subnodes;
    std::vector<std::string> pages = pst_property_context(ndb, names, {}, subnodes, true);
    uint64_t data = ndb.add_pages(pages);
    ndb.add_node(name_map_nid, data, subnodes.finish(ndb), 0);
}

// The empty tables new folders and messages are made from.
// The search folders' table is given the contents table's columns.
void pst_writer::impl::write_templates() {
    add_table_node(node_id(template_index, pst_node_hierarchy_table), pst_hierarchy_columns(), {},
                   0);
    add_table_node(node_id(template_index, pst_node_contents_table), pst_contents_columns(), {}, 0);
    add_table_node(node_id(template_index, pst_node_associated_table), pst_associated_columns(), {},
                   0);
    add_table_node(node_id(template_index, node_search_contents_table), pst_contents_columns(), {},
                   0);
    add_table_node(pst_attachment_table_nid, pst_attachment_columns(), {}, 0);
    add_table_node(pst_recipient_table_nid, pst_recipient_columns(), {}, 0);
    add_table_node(node_id(search_table_index, node_search_table), pst_contents_columns(), {}, 0);
}

pst_writer::pst_writer(pst_output& out, std::u16string_view display_name, std::string_view identity)
    : impl_(std::make_unique<impl>(out, display_name, identity)) {
    impl& w = *impl_;
    auto add = [&](folder_id parent, std::u16string_view name, std::u16string_view kind) {
        return w.new_folder(parent, w.next_folder_index++, name, kind);
    };
    w.root = w.new_folder(0, root_folder_index, u"", u"");
    w.top = add(w.root, u"Top of Personal Folders", u"");
    w.search_root = add(w.root, u"Search Root", u"");
    w.deleted_items = add(w.top, u"Deleted Items", u"IPF.Note");
    add(w.top, u"Inbox", u"IPF.Note");  // found by Outlook as its receive folder
    w.outbox = add(w.top, u"Outbox", u"IPF.Note");
    w.sent_items = add(w.top, u"Sent Items", u"IPF.Note");
    w.drafts = add(w.top, u"Drafts", u"IPF.Note");
    w.common_views = add(w.root, u"Common Views", u"");
    w.views = add(w.root, u"Folder Views", u"");
}

pst_writer::~pst_writer() = default;

pst_writer::folder_id pst_writer::top() const {
    return impl_->top;
}

pst_writer::folder_id pst_writer::add_folder(folder_id parent, std::u16string_view name) {
    return impl_->new_folder(parent, impl_->next_folder_index++, name, u"IPF.Note");
}

pst_writer::folder_id pst_writer::folder(const std::vector<std::u16string>& path) {
    folder_id at = impl_->top;
    for (const std::u16string& name : path) {
        const std::vector<folder_id>& children = impl_->folders[at].children;
        auto found = std::find_if(children.begin(), children.end(), [&](folder_id child) {
            return same_name(impl_->folders[child].name, name);
        });
        at = found != children.end() ? *found : add_folder(at, name);
    }
    return at;
}

bool pst_writer::add_message(folder_id folder, const item::message& message) {
    impl& w = *impl_;
    try {
        pst_written_message written = pst_write_message(w.ndb, message);
        uint32_t nid = node_id(w.next_message_index++, pst_node_message);
        w.ndb.add_node(nid, written.data_bid, written.sub_bid, w.folder_nid(folder));
        impl::folder& f = w.folders[folder];
        auto flags = message.properties.find(item::tags::message_flags);
        if (flags == message.properties.end() || !(flags->second.fixed & item::message_flag_read))
            f.unread++;
        f.message_nids.push_back(nid);
        f.rows.push_back(std::move(written.contents_row));
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return !w.watched.failed;
}

bool pst_writer::finish() {
    impl& w = *impl_;
    try {
        w.write_store();
        w.write_name_map();
        w.write_templates();
        for (uint32_t nid : search_nids) w.ndb.add_node(nid, 0, 0, 0);
        for (folder_id id = 0; id < w.folders.size(); ++id) w.write_folder(id);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return w.ndb.finish() && !w.watched.failed;
}

}  // namespace pst
