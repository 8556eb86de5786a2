// The Jestpad document: owns the Jest settings of the run and turns a file
// into the text on screen (raw load, rewriting pass, filters).
#pragma once

#include "Document.h"
#include "Encoding.h"
#include "MessageSink.h"
#include "RuleSet.h"

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <optional>

class CJestpadView;

class CJestpadDoc : public CDocument {
public:
    CJestpadDoc();
    // The window's bound on the pass (positions tried, bytes of text): a
    // text the view can lay out within about a second, whatever the rules.
    static constexpr std::int64_t kPassLimit = std::int64_t{2} << 20;
    ~CJestpadDoc() override;

    // Open pipeline: raw load, then (once the view is ready) rewrite with a
    // fresh seed from the clock and the enabled filters.
    bool OnOpenDocument(const QString& path) override;
    // New document: the view's text becomes empty.
    bool OnNewDocument() override;
    // Save As in the document's encoding: the view's text converted back
    // (CP932 and other unconverted texts as their bytes). A character the
    // encoding cannot hold is named, with UTF-8 offered instead.
    bool OnSaveDocument(const QString& path) override;
    // Loading: the file's bytes, detected (or in the encoding chosen for this
    // file) and converted to the encoding of the pass, into the view.
    // Storing: the bytes OnSaveDocument prepared.
    void Serialize(CArchive& ar) override;
    // Save As proposes "<name>_jest<ext>" beside the file, so that Enter
    // cannot overwrite it; untitled, "無題.txt" in the folder last used.
    QString ProposedSaveName() const override;
    static QString SaveNameFor(const QString& path, const QString& lastFolder);

    // Opens the current file again through the pipeline; nothing when untitled.
    void Reload();
    void OnFileReload();
    void OnSettingsJest();  // in JestpadDocSettings.cpp
    // Opens the current file again in that encoding, kept for its reloads
    // until another file is opened; nullopt: detected again.
    void OnFileReopen(std::optional<EncodingId> encoding);

    CJestpadView* GetJestpadView() const;

    bool m_bViewReady = false;
    CRuleSet m_ruleSet;
    int m_bHtmlFilter = 0;
    int m_bCommentFilter = 0;
    int m_nLevel = 2;
    // The file's encoding, as read from disk and written by Save As.
    CEncoding m_encoding;
    // The encoding the user chose for this file, if any.
    std::optional<EncodingId> m_forcedEncoding;

private:
    void LoadText(const QByteArray& raw);
    // The bytes Save As writes and the encoding they are in; nullopt when
    // nothing is to be written (refused, or the user said No).
    std::optional<QByteArray> SaveBytes(CEncoding& encoding);
    void ShowEncoding();

    std::optional<EncodingId> m_loadEncoding;
    QByteArray m_saveBytes;
    // Shows the rule set's line errors in a message box.
    std::unique_ptr<CMessageSink> m_pSink;
};
