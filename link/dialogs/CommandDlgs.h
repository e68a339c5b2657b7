#pragma once

#include "link/DeleteFileTransaction.h"
#include "link/GetFileListTransaction.h"
#include "link/GetFileTransaction.h"
#include "link/GetProtVerTransaction.h"
#include "link/SetFileTransaction.h"
#include "link/dialogs/WaitDlg.h"

// The progress windows of the commands, each holding its transaction.
using CGetProtVerDlg = CTransactionDlg<CGetProtVerTransaction>;
using CGetFileListDlg = CTransactionDlg<CGetFileListTransaction>;
using CGetFileDlg = CTransactionDlg<CGetFileTransaction>;
using CSetFileDlg = CTransactionDlg<CSetFileTransaction>;
using CDeleteFileDlg = CTransactionDlg<CDeleteFileTransaction>;
