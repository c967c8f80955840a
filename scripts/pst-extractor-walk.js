// node scripts/pst-extractor-walk.js FILE.pst: walks every folder and message of a Personal
// Folders file with the npm package pst-extractor and prints one JSON object: the folders
// (path below the root, the count the folder gives, how many messages were walked) and
// every message with its subject, sender, plain text, HTML and attachments (file bytes in
// base64; an attached message as a message of its own). Any error stops it with status 1.
'use strict';
const { PSTFile } = require('pst-extractor');

function attachmentsOf(message) {
    const attachments = [];
    for (let i = 0; i < message.numberOfAttachments; i++) {
        const attachment = message.getAttachment(i);
        const name = attachment.longFilename || attachment.filename || null;
        if (attachment.attachMethod === 5) {
            // pst-extractor 1.12 makes an attached message only for an attachment that knows
            // its node, which none does: it is given the message's.
            if (!attachment.descriptorIndexNode) attachment.descriptorIndexNode = message.descriptorIndexNode;
            const inner = attachment.embeddedPSTMessage;
            attachments.push({ kind: 'message', name, message: inner ? messageOf(inner) : null });
            continue;
        }
        const stream = attachment.fileInputStream;
        let data = Buffer.alloc(0);
        if (stream) {
            data = Buffer.alloc(stream.length.toNumber());
            stream.readCompletely(data);
        }
        attachments.push({ kind: 'file', name, data: data.toString('base64') });
    }
    return attachments;
}

// pst-extractor 1.12 names code page 932 (Shift_JIS, as Outlook stores Japanese HTML)
// "iso-2022-jp": such HTML is read here in the code page the file gives.
const PR_HTML = 0x1013;
const PR_INTERNET_CPID = 0x3fde;
function htmlOf(message) {
    const codePage = message.pstTableItems && message.pstTableItems.get(PR_INTERNET_CPID);
    if (codePage && codePage.entryValueReference === 932) return message.getStringItem(PR_HTML, 0, 'shift_jis') || null;
    return message.bodyHTML || null;
}

function messageOf(message) {
    return {
        subject: message.subject,
        sender: message.senderName,
        body: message.body || null,
        html: htmlOf(message),
        attachments: attachmentsOf(message),
    };
}

function walk(folder, path, result) {
    const entry = { path, count: folder.contentCount, walked: 0 };
    result.folders.push(entry);
    if (folder.contentCount > 0) {
        for (let message = folder.getNextChild(); message; message = folder.getNextChild()) {
            entry.walked++;
            result.messages.push(Object.assign({ folder: path }, messageOf(message)));
        }
    }
    if (folder.hasSubfolders) {
        for (const sub of folder.getSubFolders()) walk(sub, path.concat([sub.displayName]), result);
    }
}

const file = new PSTFile(process.argv[2]);
const result = { store: file.getMessageStore().displayName, folders: [], messages: [] };
walk(file.getRootFolder(), [], result);
process.stdout.write(JSON.stringify(result));
