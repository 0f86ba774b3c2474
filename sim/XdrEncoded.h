#pragma once

#include <QByteArray>

#include <rpc/xdr.h>

// A value in its XDR form, written by rpcgen's routine for its type.
template <typename T> QByteArray xdrEncoded(bool_t (*proc)(XDR *, T *), T value) {
    QByteArray bytes(qsizetype(xdr_sizeof(xdrproc_t(proc), &value)), Qt::Uninitialized);
    XDR xdrs;
    xdrmem_create(&xdrs, bytes.data(), u_int(bytes.size()), XDR_ENCODE);
    proc(&xdrs, &value);
    xdr_destroy(&xdrs);
    return bytes;
}
