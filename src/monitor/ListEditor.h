#pragma once

#include "monitor/ListStore.h"

class QListWidget;
class QWidget;

// One of the main window's two lists as the user edits it: the list box
// that shows it, adding an entry through the add-entry dialog, deleting the
// selected one, and the list file saved after every change. A list whose
// file could not be read completely is not changed; the user hears why.
class ListEditor
{
public:
    ListEditor(ListStore &lists, ListStore::List which, QListWidget &box, QWidget *dialogParent);

    // Shows the list's entries in the box (FillAccountList, FillEmailListBox).
    void fill();

    // Asks for a new entry and adds it; errors are passed on.
    void add();

    // Deletes the selected entry, unless nothing is selected or `locked`
    // (a check cycle works on the lists); errors are passed on.
    void DeleteListItem(bool locked);

    // True when an entry is selected.
    bool hasSelection() const;

    // For a list read only part-way: a message box saying where and why.
    void tellLoadProblem() const;

private:
    bool refuseReadOnly() const;

    ListStore &m_lists;
    ListStore::List m_which;
    QListWidget &m_box;
    QWidget *m_dialogParent;
};
