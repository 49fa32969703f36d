#include "FMessage.h"

#include "ui_FMessage.h"


namespace {
// The texts come with CR LF line ends; the text box wants plain "\n".
QString forDisplay(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}
} // namespace

FMessage::FMessage(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_ui(std::make_unique<Ui::FMessage>())
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
}

FMessage::~FMessage() = default;

void FMessage::LoadMessage(const QString &sMessage)
{
    m_ui->txtMessage->setPlainText(forDisplay(sMessage));
}

QString FMessage::Text() const
{
    // The text box keeps line ends as "\n"; the window's text is CR LF.
    return m_ui->txtMessage->toPlainText().replace(u'\n', QStringLiteral("\r\n"));
}

void FMessage::m_oEmail_OnErrorMessage(const QString &sMessage)
{
    QTextCursor end(m_ui->txtMessage->document());
    end.movePosition(QTextCursor::End);
    end.insertText(QStringLiteral("\n") + forDisplay(sMessage));
    m_ui->txtMessage->ensureCursorVisible();
}

