#include "FOutbox.h"

#include "ui_FOutbox.h"

#include "base/MessageBoxes.h"

#include <QSet>

namespace {
enum Column { TimeColumn, RecipientColumn, SubjectColumn, ErrorColumn };
}

FOutbox::FOutbox(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_ui(std::make_unique<Ui::FOutbox>())
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    connect(m_ui->cmdSendNow, &QPushButton::clicked, this, &FOutbox::sendNowRequested);
    connect(m_ui->cmdDiscard, &QPushButton::clicked, this, &FOutbox::OnCmdDiscardClick);
    connect(m_ui->cmdClose, &QPushButton::clicked, this, &QWidget::close);
    connect(m_ui->tblMessages, &QTableWidget::itemSelectionChanged, this, &FOutbox::enableButtons);
    setRows({});
}

FOutbox::~FOutbox() = default;

void FOutbox::setRows(const QList<Row> &rows)
{
    const QStringList selected = selectedIds();
    QTableWidget &table = *m_ui->tblMessages;
    table.clearContents();
    table.setRowCount(int(rows.size()));
    for (int row = 0; row < rows.size(); ++row) {
        const Row &message = rows.at(row);
        const QString texts[] = {message.created.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                                 message.recipient, message.subject, message.lastError};
        for (int column = TimeColumn; column <= ErrorColumn; ++column) {
            auto *item = new QTableWidgetItem(texts[column]);
            item->setToolTip(texts[column]);
            item->setData(Qt::UserRole, message.id);
            table.setItem(row, column, item);
        }
        if (selected.contains(message.id))
            table.selectRow(row);
    }
    table.resizeColumnsToContents();
    m_ui->lblSummary->setText(rows.isEmpty() ? QStringLiteral("Nothing is waiting to be sent.")
                                             : QStringLiteral("%1 waiting to be sent. Each is sent again at every "
                                                              "check until the server takes it.")
                                                   .arg(rows.size() == 1 ? QStringLiteral("1 alert is")
                                                                         : QStringLiteral("%1 alerts are").arg(rows.size())));
    enableButtons();
}

void FOutbox::setSending(bool sending)
{
    m_bSending = sending;
    enableButtons();
}

QStringList FOutbox::selectedIds() const
{
    QStringList ids;
    for (const QModelIndex &index : m_ui->tblMessages->selectionModel()->selectedRows(TimeColumn))
        ids << index.data(Qt::UserRole).toString();
    return ids;
}

void FOutbox::enableButtons()
{
    m_ui->cmdSendNow->setEnabled(!m_bSending && m_ui->tblMessages->rowCount() > 0);
    m_ui->cmdDiscard->setEnabled(!selectedIds().isEmpty());
}

void FOutbox::OnCmdDiscardClick()
{
    const QStringList ids = selectedIds();
    if (ids.isEmpty())
        return;
    const QString question = ids.size() == 1
        ? QStringLiteral("Discard the selected alert?  It will not be sent.")
        : QStringLiteral("Discard the %1 selected alerts?  They will not be sent.").arg(ids.size());
    if (MessageBoxes::show({QStringLiteral("Discard alerts"), question, MessageButtons::YesNo, MessageIcon::Question})
        == MessageAnswer::Yes)
        Q_EMIT discardRequested(ids);
}
