#pragma once
// tazelctl's exit codes: the sysexits values scripts already know.

namespace Exit {
inline constexpr int Ok = 0;
inline constexpr int ServerRefused = 1;  // the server answered "-" (its line is on standard error)
inline constexpr int Usage = 64;         // EX_USAGE
inline constexpr int DataErr = 65;       // EX_DATAERR: a value or file the protocol cannot carry, nothing sent
inline constexpr int NoInput = 66;       // EX_NOINPUT: an input file that cannot be read
inline constexpr int NoUser = 67;        // EX_NOUSER: no stored server of that name
inline constexpr int Unavailable = 69;   // EX_UNAVAILABLE: the server cannot be reached
inline constexpr int TempFail = 75;      // EX_TEMPFAIL: no answer in time, or the connection closed mid-reply
inline constexpr int NoPerm = 77;        // EX_NOPERM: the login was refused
inline constexpr int CantCreate = 73;    // EX_CANTCREAT: standard output could not take the output
}  // namespace Exit
