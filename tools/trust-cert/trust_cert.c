/* trust-cert: adds a certificate (PEM or DER file) to the machine's trusted
 * root store, so that WinHTTP in a Wine prefix accepts the development
 * server's self-signed certificate. Nothing on the host changes.
 *
 *   trust-cert.exe cert.pem
 */
#include <windows.h>
#include <wincrypt.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void fail(const char* what) {
  DWORD error = GetLastError();
  fprintf(stderr, "trust-cert: %s failed (error 0x%08lX)\n", what, (unsigned long)error);
}

/* The whole file, or NULL. */
static BYTE* read_file(const wchar_t* path, DWORD* size) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) {
    fail("opening the certificate file");
    return NULL;
  }
  LARGE_INTEGER length;
  BYTE* data = NULL;
  if (!GetFileSizeEx(file, &length)) {
    fail("GetFileSizeEx");
  } else if (length.QuadPart <= 0 || length.QuadPart > 1024 * 1024) {
    fprintf(stderr, "trust-cert: the file is empty or too large for a certificate\n");
  } else if ((data = malloc((size_t)length.QuadPart + 1)) != NULL) {
    DWORD got = 0;
    if (!ReadFile(file, data, (DWORD)length.QuadPart, &got, NULL) || got != (DWORD)length.QuadPart) {
      fail("ReadFile");
      free(data);
      data = NULL;
    } else {
      data[got] = 0; /* PEM is decoded as a C string */
      *size = got;
    }
  }
  CloseHandle(file);
  return data;
}

/* DER bytes of the first certificate in the file: PEM is decoded, DER kept. */
static BYTE* to_der(BYTE* data, DWORD size, DWORD* der_size) {
  if (strstr((const char*)data, "-----BEGIN") == NULL) {
    *der_size = size;
    return data;
  }
  DWORD needed = 0;
  if (!CryptStringToBinaryA((const char*)data, 0, CRYPT_STRING_BASE64HEADER, NULL, &needed, NULL, NULL)) {
    fail("decoding the PEM text");
    free(data);
    return NULL;
  }
  BYTE* der = malloc(needed ? needed : 1);
  if (der == NULL || !CryptStringToBinaryA((const char*)data, 0, CRYPT_STRING_BASE64HEADER, der, &needed, NULL, NULL)) {
    fail("decoding the PEM text");
    free(der);
    der = NULL;
  }
  free(data);
  *der_size = needed;
  return der;
}

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: trust-cert.exe <certificate.pem or .der>\n");
    return 2;
  }
  DWORD size = 0;
  BYTE* data = read_file(argv[1], &size);
  if (data == NULL) return 1;
  DWORD der_size = 0;
  BYTE* der = to_der(data, size, &der_size);
  if (der == NULL) return 1;

  int rc = 1;
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                   CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG, L"Root");
  if (store == NULL) {
    fail("CertOpenStore(LocalMachine Root)");
  } else {
    PCCERT_CONTEXT added = NULL;
    if (!CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der, der_size, CERT_STORE_ADD_REPLACE_EXISTING,
                                          &added)) {
      fail("CertAddEncodedCertificateToStore");
    } else {
      wchar_t name[256] = L"";
      CertGetNameStringW(added, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, NULL, name, 256);
      printf("trust-cert: \"%ls\" is now a trusted root of this machine\n", name);
      CertFreeCertificateContext(added);
      rc = 0;
    }
    if (!CertCloseStore(store, 0) && rc == 0) {
      fail("CertCloseStore");
      rc = 1;
    }
  }
  free(der);
  return rc;
}
