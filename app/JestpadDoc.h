// The Jestpad document: owns the Jest settings of the run and turns a file
// into the text on screen (raw load, rewriting pass, filters).
#pragma once

#include "Document.h"
#include "Encoding.h"
#include "Rewrite.h"
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
    // Storing: the view's text in the document's encoding.
    void Serialize(CArchive& ar) override;
    // Save As proposes "<name>_jest<ext>" beside the file, so that Enter
    // cannot overwrite it; untitled, "無題.txt" in the folder last used.
    QString ProposedSaveName() const override;
    static QString SaveNameFor(const QString& path, const QString& lastFolder);

    // Opens the current file again through the pipeline; nothing when untitled.
    void Reload();
    void OnFileReload();
    void OnSettingsJest();  // in JestpadDocSettings.cpp
    // Loads the rule file of that name, ready for the view's text, and says
    // why when it fails (or reads no line); false when it failed.
    bool LoadRules(const CByteString& name);  // in JestpadDocSettings.cpp
    // Opens the current file again in that encoding, kept for its reloads
    // until another file is opened; nullopt: detected again.
    void OnFileReopen(std::optional<EncodingId> encoding);

    CJestpadView* GetJestpadView() const;

    bool m_bViewReady = false;
    CRuleSet m_ruleSet;
    // Level and filters of the pass; the encoding and bound are set per open.
    CRewriteOptions m_options;
    // The file's encoding, the pass text's (the view's) and the user's choice
    // for this file, kept for its reloads until another file is opened.
    CTextEncoding m_encoding;

private:
    void LoadText(const QByteArray& raw);
    // The view's text in that encoding; false, with the reason, when the
    // encoding cannot hold it.
    bool FileBytes(const CEncoding& encoding, QByteArray& bytes, CConvertError& error) const;
    // The encoding Save As writes in: the file's, or UTF-8 when the user
    // agrees; nullopt when nothing is to be written (refused, or No).
    std::optional<CEncoding> SaveEncoding();
    void ShowEncoding();
    // Readies the rules for a pass on text in `encoding` and names the rules
    // left out of it; false, with a message, when they do not fit in memory.
    bool PrepareRules(EncodingId encoding);  // in JestpadDocSettings.cpp

    // Where the view's text came from, so that Save As gives unchanged text back as the file's bytes.
    CPassOrigin m_origin;
    // What the pass changed in it, for the same purpose.
    CRewriteReport m_report;
    // Whether the user was told that this file holds bytes invalid in its encoding.
    bool m_bInvalidWarned = false;
};
