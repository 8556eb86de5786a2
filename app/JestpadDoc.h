// The Jestpad document: owns the Jest settings of the run and turns a file
// into the text on screen (raw load, rewriting pass, filters).
#pragma once

#include "Document.h"
#include "MessageSink.h"
#include "RuleSet.h"

#include <cstdint>
#include <memory>

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
    // Raw bytes both ways, through the view.
    void Serialize(CArchive& ar) override;

    // Opens the current file again through the pipeline; nothing when untitled.
    void Reload();
    void OnFileReload();
    void OnSettingsJest();  // in JestpadDocSettings.cpp

    CJestpadView* GetJestpadView() const;

    bool m_bViewReady = false;
    CRuleSet m_ruleSet;
    int m_bHtmlFilter = 0;
    int m_bCommentFilter = 0;
    int m_nLevel = 2;

private:
    // Shows the rule set's line errors in a message box.
    std::unique_ptr<CMessageSink> m_pSink;
};
