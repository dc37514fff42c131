// The key commands of the main dialog: Get version, Read, Send and Learn.
// Each runs its exchange on the UI thread; Learn polls from the dialog timer.

#include "LumaretDlg.h"

#include "CommandFrame.h"
#include "ModuleOperations.h"
#include "Reply.h"

#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <cstring>

bool CLumaretDlg::RequireOpenPort() {
    if (m_bPortOpen == 0) {
        MessageBox(QStringLiteral("Port Close"));
        return false;
    }
    return true;
}

bool CLumaretDlg::ReadKeyNumber(int32_t& keyNumber) {
    keyNumber = GetDlgItemInt(IDC_KEY_NO);
    if (!KeyNumberInRange(keyNumber)) {
        MessageBox(QString::fromLatin1(KEY_NUMBER_OUT_OF_RANGE));
        return false;
    }
    return true;
}

void CLumaretDlg::OnGetVersion() {
    if (!RequireOpenPort()) {
        return;
    }
    m_pVersion->setText(QString());
    const VersionOutcome outcome = GetVersion(m_serial, m_timing);
    if (outcome.ok) {
        m_pVersion->setText(QString::fromLatin1(outcome.text.c_str()));
    } else {
        MessageBox(QString::fromLatin1(GET_FAIL_TEXT));
    }
}

void CLumaretDlg::OnReadKey() {
    if (!RequireOpenPort()) {
        return;
    }
    QWidget* focusHeir = DisableCommand(m_pRead);
    ClearLog();
    int32_t keyNumber = 0;
    if (!ReadKeyNumber(keyNumber)) {
        EnableCommand(m_pRead, focusHeir);
        return;
    }
    const uint16_t keyIndex = KeyIndex(GetDlgItemInt(IDC_CHANNEL), keyNumber);
    const ExchangeReply reply = ReadKey(m_serial, keyIndex, m_timing);
    const ReadOutcome outcome = ReadOutcomeOf(reply);
    switch (outcome) {
    case ReadOutcome::KeyEmpty:
        WriteLog(QString::fromLatin1(ReadOutcomeText(outcome)));
        break;
    case ReadOutcome::OtherStatus:
        // Any other status leaves the log empty.
        break;
    case ReadOutcome::CommunicationFail:
    case ReadOutcome::Damaged:
        ClearLog();
        WriteLog(QString::fromLatin1(ReadOutcomeText(outcome)));
        break;
    case ReadOutcome::Code:
    case ReadOutcome::Incomplete:
        // The whole reply, header and CRC included, one "%02X " group per byte.
        for (uint32_t i = 0; i < reply.count; ++i) {
            AppendLog(QString::fromStdString(HexGroups(&reply.bytes[i], 1)));
        }
        break;
    }
    EnableCommand(m_pRead, focusHeir);
}

void CLumaretDlg::OnSendKey() {
    if (!RequireOpenPort()) {
        return;
    }
    QWidget* focusHeir = DisableCommand(m_pSend);
    int32_t keyNumber = 0;
    if (!ReadKeyNumber(keyNumber)) {
        EnableCommand(m_pSend, focusHeir);
        return;
    }
    const int32_t channel = GetDlgItemInt(IDC_CHANNEL);
    const SendOutcome outcome =
        SendKey(m_serial, KeyIndex(channel, keyNumber), ChannelMask(channel), m_timing);
    // Cleared only now: the last outcome stays in view during the exchange.
    ClearLog();
    WriteLog(QString::fromLatin1(SendOutcomeText(outcome)));
    EnableCommand(m_pSend, focusHeir);
}

void CLumaretDlg::OnLearnKey() {
    if (!RequireOpenPort()) {
        return;
    }
    int32_t keyNumber = 0;
    if (!ReadKeyNumber(keyNumber)) {
        return;
    }
    StartLearn(m_serial, KeyIndex(GetDlgItemInt(IDC_CHANNEL), keyNumber));
    ClearLog();
    m_pLearnFocusHeir = DisableCommand(m_pLearn);
    m_learn.Start(m_timing.learnPolls);
    m_learnTimer.start(static_cast<int>(m_timing.learnPollPeriodMs), Qt::PreciseTimer, this);
    // A transfer would share the line with the polls.
    UpdateCommandStates();
}

void CLumaretDlg::OnTimer(int idEvent) {
    (void)idEvent; // the learn timer is the dialog's only timer
    std::array<uint8_t, 512> poll{};
    const uint32_t n = PollLearn(m_serial, poll.data(), m_timing);
    switch (m_learn.Feed(poll.data(), n)) {
    case CLearnAnswer::State::Pending:
        return;
    case CLearnAnswer::State::TimedOut:
        m_learnTimer.stop();
        ClearLog();
        WriteLog(QString::fromLatin1(LEARN_TIMEOUT_TEXT));
        break;
    case CLearnAnswer::State::Answered:
        ClearLog();
        WriteLog(QString::fromLatin1(LearnStatusText(m_learn.Status())));
        m_learnTimer.stop();
        break;
    }
    EnableCommand(m_pLearn, m_pLearnFocusHeir);
    m_pLearnFocusHeir = nullptr;
    UpdateCommandStates();
}
