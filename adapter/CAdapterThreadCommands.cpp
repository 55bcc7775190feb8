// The command operations run by the adapter worker. Each runs inside the common command frame; until an
// operation is in place it announces itself and ends with its failure line, so the window sees result false.
#include "adapter/CAdapterThread.h"

#include "app/i18n.h"

namespace {

const char* const kRecordFailed = N_("The record has not been made, please try again");
const char* const kReadFailed = N_("Reading has not been completed, please try again");

} // namespace

void CAdapterThread::RunUnavailable(Cmd cmd, CmdExit exit, const char* title, const char* failure) {
    RunCommand(cmd, exit, [&] {
        if (title)
            SetStatusText(_(title), true);
        if (failure)
            SetStatusText(_(failure), true);
    });
}

void CAdapterThread::DoDS1996Prepare() {
    RunUnavailable(CMD_DS1996_PREPARE, CmdExit::RestartReading, N_("Preparing the DS1996L"),
                   N_("Preparation failed, please try again"));
}

void CAdapterThread::DoDS1996FromDb() {
    RunUnavailable(CMD_DS1996_FROM_DB, CmdExit::RestartReading, N_("Database --> DS1996L"), kRecordFailed);
}

void CAdapterThread::DoDS1996ToDb() {
    RunUnavailable(CMD_DS1996_TO_DB, CmdExit::RestartReading, N_("DS1996L --> Database"), kReadFailed);
}

void CAdapterThread::DoDS1996FromFile() {
    RunUnavailable(CMD_DS1996_FROM_FILE, CmdExit::RestartReading, N_("File --> DS1996L"), kRecordFailed);
}

void CAdapterThread::DoDS1996ToFile() {
    RunUnavailable(CMD_DS1996_TO_FILE, CmdExit::RestartReading, N_("DS1996L --> File"), kReadFailed);
}

void CAdapterThread::DoQ4tClear() {
    RunUnavailable(CMD_Q4T_CLEAR, CmdExit::RestartReading, N_("Clearing the controller memory"),
                   N_("Cleaning failed, please try again"));
}

void CAdapterThread::DoQ4tFromDb() {
    RunUnavailable(CMD_Q4T_FROM_DB, CmdExit::RestartReading, N_("Database --> Controller Q-4T"),
                   kRecordFailed);
}

void CAdapterThread::DoQ4tToDb() {
    RunUnavailable(CMD_Q4T_TO_DB, CmdExit::RestartReading, N_("Controller Q-4T --> Database"), kReadFailed);
}

void CAdapterThread::DoQ4tFromFile() {
    RunUnavailable(CMD_Q4T_FROM_FILE, CmdExit::RestartReading, N_("File --> Controller"), kRecordFailed);
}

void CAdapterThread::DoQ4tToFile() {
    RunUnavailable(CMD_Q4T_TO_FILE, CmdExit::RestartReading, N_("Controller --> File"), kReadFailed);
}

void CAdapterThread::DoQ4tTest() {
    RunUnavailable(CMD_Q4T_TEST, CmdExit::KeepReading, N_("Testing the controller"),
                   N_("Testing not completed, please try again"));
}

void CAdapterThread::DoQ4tFormat() {
    RunUnavailable(CMD_Q4T_FORMAT, CmdExit::KeepReading, N_("Formatting the controller"), kRecordFailed);
}

void CAdapterThread::DoEmuFromDb() {
    RunUnavailable(CMD_EMU_FROM_DB, CmdExit::RestartReading, N_("Emulation: Database --> DS1996L"),
                   kRecordFailed);
}

void CAdapterThread::DoEmuToDb() {
    RunUnavailable(CMD_EMU_TO_DB, CmdExit::RestartReading, N_("Emulation: DS1996L --> Database"),
                   kReadFailed);
}

void CAdapterThread::DoEmuDallas() {
    RunUnavailable(CMD_EMU_DALLAS, CmdExit::RestartReading, nullptr, nullptr);
}

void CAdapterThread::DoPowerOff() {
    RunUnavailable(CMD_POWER_OFF, CmdExit::RestartReading, nullptr, nullptr);
}

void CAdapterThread::DoWriteEmMarineToTemic() {
    RunUnavailable(CMD_EMMARINE_TO_TEMIC, CmdExit::Temic, nullptr, nullptr);
}

void CAdapterThread::DoWriteHidToTemic() {
    RunUnavailable(CMD_HID_TO_TEMIC, CmdExit::Temic, nullptr, nullptr);
}

bool CAdapterThread::T57_Reset() {
    return false;
}

bool CAdapterThread::T57_WriteTemic(unsigned char, unsigned char, unsigned char, const unsigned int*, long,
                                    bool, int) {
    return false;
}
