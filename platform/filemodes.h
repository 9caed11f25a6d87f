// SPDX-License-Identifier: Apache-2.0
#pragma once

// Who may read the files the programs create. The database holds operator and member
// passwords, the agent's settings hold the link key and the staff password, and the error logs
// name addresses and accounts: none of it is for the other users of the computer.
namespace FileModes {

// From here on, every file and folder this process creates is readable and writable by its
// owner only. It is a process-wide setting (the umask), so it also covers what the programs
// write for the user on purpose: report exports and backups are owner-only too, which is right
// for backups (they carry the passwords) and costs the cashier nothing, who opens them under
// the same account. Existing files keep the mode an administrator gave them: the settings
// file is replaced with its old mode, the database's journal files take the database's mode,
// and appending to a log does not touch its mode. Call it first thing in main().
void ownerOnlyNewFiles();

} // namespace FileModes
