// A dialog and clock seam for tests: records message boxes, answers file,
// font and print dialogs from queues, runs modal dialogs through a settable
// function, and gives a fixed clock. Installs itself while it lives.
#pragma once

#include "UiSeam.h"

#include <QDialog>
#include <QFont>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>

class CFakeUiSeam : public CUiSeam {
public:
    CFakeUiSeam() { CUiSeam::Set(this); }
    ~CFakeUiSeam() override { CUiSeam::Set(nullptr); }
    CFakeUiSeam(const CFakeUiSeam&) = delete;
    CFakeUiSeam& operator=(const CFakeUiSeam&) = delete;

    // Every message box text, in order.
    QStringList messages;
    // Every Yes/No question, in order, and the answers to the next ones
    // (an empty queue answers No).
    QStringList questions;
    std::deque<bool> yesNoAnswers;
    // Titles and starting paths of the file dialogs asked for, in order.
    QStringList fileDialogTitles;
    QStringList fileDialogStarts;
    // Answers of the next open/save file dialogs; nullopt (or an empty queue)
    // is Cancel.
    std::deque<std::optional<QString>> openAnswers;
    std::deque<std::optional<QString>> saveAnswers;
    // Answers of the next font dialogs; the starting fonts are recorded.
    std::deque<std::optional<QFont>> fontAnswers;
    QList<QFont> fontDialogStarts;
    // Answers of the next print dialogs (empty queue: cancel).
    std::deque<bool> printAnswers;
    // Runs for every modal dialog; returns 1 (OK) or 2 (cancel). By default
    // the dialog is cancelled without being shown.
    std::function<int(QDialog&)> doModal;
    int modalCount = 0;
    // The clock, and how often it was read.
    std::time_t now = 1000000000;
    int clockReads = 0;

    void MessageBox(QWidget*, const QString& text) override { messages.append(text); }

    bool AskYesNo(QWidget*, const QString& text) override
    {
        questions.append(text);
        if (yesNoAnswers.empty())
            return false;
        const bool answer = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return answer;
    }

    int DoModal(QDialog& dialog) override
    {
        ++modalCount;
        return doModal ? doModal(dialog) : 2;
    }

    std::optional<QString> GetOpenFileName(QWidget*, const QString& title, const QString&,
                                           const QString& start) override
    {
        fileDialogTitles.append(title);
        fileDialogStarts.append(start);
        return Pop(openAnswers);
    }

    std::optional<QString> GetSaveFileName(QWidget*, const QString& title, const QString&,
                                           const QString& start) override
    {
        fileDialogTitles.append(title);
        fileDialogStarts.append(start);
        return Pop(saveAnswers);
    }

    // The rule file's dialog answers from openAnswers; its start is empty.
    std::optional<QString> GetAnyFileName(QWidget* parent, const QString& title, const QStringList&) override
    {
        return GetOpenFileName(parent, title, QString(), QString());
    }

    std::optional<QFont> GetFont(QWidget*, const QFont& initial) override
    {
        fontDialogStarts.append(initial);
        return Pop(fontAnswers);
    }

    bool RunPrintDialog(QWidget*, QPrinter&) override
    {
        if (printAnswers.empty())
            return false;
        const bool answer = printAnswers.front();
        printAnswers.pop_front();
        return answer;
    }

    std::time_t Now() override
    {
        ++clockReads;
        return now;
    }

private:
    template <typename T>
    static std::optional<T> Pop(std::deque<std::optional<T>>& queue)
    {
        if (queue.empty())
            return std::nullopt;
        const bool given = queue.front().has_value();
        T value = given ? *queue.front() : T();
        queue.pop_front();
        if (!given)
            return std::nullopt;
        return value;
    }
};
