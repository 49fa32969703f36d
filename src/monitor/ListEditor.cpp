#include "ListEditor.h"

#include "base/ErrorPatterns.h"
#include "base/MessageBoxes.h"
#include "base/PageText.h"
#include "dialogs/FAdd.h"
#include "dialogs/ModalDialogs.h"

#include <QListWidget>

namespace {

const QString CrLf = QStringLiteral("\r\n");

} // namespace

ListEditor::ListEditor(ListStore &lists, ListStore::List which, QListWidget &box, QWidget *dialogParent)
    : m_lists(lists)
    , m_which(which)
    , m_box(box)
    , m_dialogParent(dialogParent)
{
}

void ListEditor::fill()
{
    passingOn("FAlert", m_which == ListStore::List::Sellers ? "FillAccountList" : "FillEmailListBox", [&] {
        for (const CUserID &entry : m_lists.list(m_which))
            m_box.addItem(entry.UserID());
    });
}

void ListEditor::add()
{
    if (refuseReadOnly())
        return;
    FAdd dialog(m_dialogParent);
    dialog.setEmailMode(m_which == ListStore::List::Recipients);
    ModalDialogs::exec(dialog);
    if (dialog.Cancelled())
        return;
    const QString entry = dialog.Address();
    if (!PageText::isBytes(entry)) {
        // The list files hold one byte a character: anything else would come
        // back changed after the next start.
        MessageBoxes::show({QStringLiteral("Zorvane"),
                            u'"' + PageText::firstNonByte(entry)
                                + QStringLiteral("\" cannot be kept in Zorvane's lists, which hold only the "
                                                 "characters of ISO 8859-1 (Latin-1).")
                                + CrLf + QStringLiteral("Please type the entry without it."),
                            MessageButtons::Ok, MessageIcon::Information});
        return;
    }
    if (const CUserID *added = m_lists.list(m_which).Add(entry)) {
        m_box.addItem(added->UserID());
        m_lists.save(m_which);
    }
}

void ListEditor::DeleteListItem(bool locked)
{
    passingOn("FAlert", "DeleteListItem", [&] {
        const int index = m_box.currentRow();
        if (!hasSelection() || locked || refuseReadOnly())
            return;
        m_lists.list(m_which).Remove(m_box.item(index)->text());
        delete m_box.takeItem(index);
        const int next = std::min(index, m_box.count() - 1);
        m_box.setCurrentRow(next);
        if (next >= 0)
            m_box.item(next)->setSelected(true);
        // Saved last: a failed save leaves the entry gone from both the list
        // and the box (the next successful save writes it so).
        m_lists.save(m_which);
    });
}

bool ListEditor::hasSelection() const
{
    return m_box.currentRow() != -1 && !m_box.selectedItems().isEmpty();
}

void ListEditor::tellLoadProblem() const
{
    if (!m_lists.isReadOnly(m_which))
        return;
    QString problem = m_lists.problem(m_which);
    problem[0] = problem[0].toUpper();
    MessageBoxes::show({QStringLiteral("Zorvane"),
                        QStringLiteral("Zorvane could not read all of the file") + CrLf + m_lists.readPath(m_which)
                            + u'.' + CrLf + CrLf + problem + u'.' + CrLf + CrLf
                            + QStringLiteral("The entries before that line are shown.  To keep the ones it could "
                                             "not read, Zorvane will not change this list or write over the file "
                                             "while it runs.  Correct or remove the file, then start Zorvane "
                                             "again."),
                        MessageButtons::Ok, MessageIcon::Warning});
}

bool ListEditor::refuseReadOnly() const
{
    if (!m_lists.isReadOnly(m_which))
        return false;
    MessageBoxes::show({QStringLiteral("Zorvane"),
                        (m_which == ListStore::List::Sellers ? QStringLiteral("The seller list")
                                                             : QStringLiteral("The recipient list"))
                            + QStringLiteral(" cannot be changed while Zorvane runs: Zorvane could not read all of "
                                             "its file")
                            + CrLf + m_lists.readPath(m_which) + CrLf + u'(' + m_lists.problem(m_which)
                            + QStringLiteral(") and will not write over it.  Correct or remove the file, then "
                                             "start Zorvane again."),
                        MessageButtons::Ok, MessageIcon::Information});
    return true;
}
