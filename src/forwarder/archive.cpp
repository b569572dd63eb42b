#include "forwarder/archive.h"

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdatset.h"
#include "dcmtk/dcmdata/dcuid.h"
#include "dcmtk/dcmjpeg/djdecode.h"
#include "dcmtk/dcmnet/diutil.h"
#include "dcmtk/dcmnet/dstorscu.h"
#include "dcmtk/dcmtls/tlslayer.h"

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <mutex>

namespace tavirex::dicom {

class Archive::Scu : public DcmStorageSCU {
 public:
  std::unique_ptr<DcmTLSTransportLayer> tls;

  OFCondition Secure() { return useSecureConnection(tls.get()); }
};

namespace {

[[noreturn]] void Fail(const std::string& what, const OFCondition& status) {
  throw Unreachable(what + ": " + status.text());
}

// The "out of resources" family: the archive may take the instance later.
bool Busy(Uint16 status) { return (status & 0xFF00) == 0xA700; }

// Success, or one of the warnings after which the archive keeps the instance.
bool Stored(Uint16 status) {
  return status == 0x0000 || status == 0xB000 || status == 0xB006 || status == 0xB007 ||
         status == 0x0001;
}

}  // namespace

void Archive::Refuse(const std::string& sop_class) const {
  throw Rejected("the archive takes no " +
                 std::string(dcmFindNameOfUID(sop_class.c_str(), sop_class.c_str())) +
                 " in JPEG Baseline or uncompressed" +
                 (settings_.sop_class == SopClass::kOphthalmicPhotography
                      ? " (sop_class = SC sends Secondary Capture)"
                      : ""));
}

Archive::Archive(const Settings& settings) : settings_(settings) {}

Archive::~Archive() { Close(); }

void Archive::Close() {
  if (scu_ && scu_->isConnected()) scu_->releaseAssociation();
  scu_.reset();
}

void Archive::Store(Instance instance) {
  if (!scu_ || !scu_->isConnected()) {
    scu_.reset();
    auto scu = std::make_unique<Scu>();
    scu->setPeerHostName(settings_.archive_host.c_str());
    scu->setPeerPort(static_cast<Uint16>(settings_.archive_port));
    scu->setPeerAETitle(settings_.called_ae.c_str());
    scu->setAETitle(settings_.calling_ae.c_str());
    scu->setConnectionTimeout(10);
    scu->setACSETimeout(30);
    scu->setDIMSEBlockingMode(DIMSE_NONBLOCKING);
    scu->setDIMSETimeout(120);
    const OFString sop_class = instance.sop_class_uid.c_str();
    OFList<OFString> jpeg, native;
    jpeg.push_back(UID_JPEGProcess1TransferSyntax);
    native.push_back(UID_LittleEndianExplicitTransferSyntax);
    native.push_back(UID_LittleEndianImplicitTransferSyntax);
    scu->addPresentationContext(sop_class, jpeg);
    scu->addPresentationContext(sop_class, native);
    OFCondition status = scu->initNetwork();
    if (status.bad()) Fail("the network cannot be set up", status);
    if (settings_.tls) {
      scu->tls = std::make_unique<DcmTLSTransportLayer>(NET_REQUESTOR, nullptr, OFTrue);
      DcmTLSTransportLayer& tls = *scu->tls;
      if (status.good()) status = tls.setTLSProfile(TSP_Profile_BCP195);
      if (status.good()) status = tls.activateCipherSuites();
      if (status.good() && !settings_.tls_ca.empty()) {
        status = tls.addTrustedCertificateFile(settings_.tls_ca.c_str(), DCF_Filetype_PEM);
      }
      if (status.good() && !settings_.tls_certificate.empty()) {
        status = tls.setPrivateKeyFile(settings_.tls_key.c_str(), DCF_Filetype_PEM);
        if (status.good()) {
          status = tls.setCertificateFile(settings_.tls_certificate.c_str(), DCF_Filetype_PEM);
        }
      }
      tls.setCertificateVerification(DCV_requireCertificate);
      // The certificate must be the archive's, not any the authority signed.
      X509_VERIFY_PARAM* check = SSL_CTX_get0_param(tls.getNativeHandle());
      in6_addr address;
      const char* host = settings_.archive_host.c_str();
      const bool numeric =
          inet_pton(AF_INET, host, &address) == 1 || inet_pton(AF_INET6, host, &address) == 1;
      if (status.good() && (numeric ? X509_VERIFY_PARAM_set1_ip_asc(check, host)
                                    : X509_VERIFY_PARAM_set1_host(check, host, 0)) != 1) {
        Fail("TLS cannot be set up", EC_IllegalParameter);
      }
      if (status.good()) status = scu->Secure();
      if (status.bad()) Fail("TLS cannot be set up", status);
    }
    status = scu->negotiateAssociation();
    if (status == NET_EC_NoAcceptablePresentationContexts) Refuse(instance.sop_class_uid);
    if (status.bad()) {
      Fail("no association with " + settings_.called_ae + " at " + settings_.archive_host + ":" +
               std::to_string(settings_.archive_port),
           status);
    }
    scu_ = std::move(scu);
  }
  const char* sop_class = instance.sop_class_uid.c_str();
  T_ASC_PresentationContextID context =
      scu_->findPresentationContextID(sop_class, instance.transfer_syntax_uid.c_str());
  if (context == 0 && instance.transfer_syntax_uid == UID_JPEGProcess1TransferSyntax) {
    // An archive without JPEG Baseline gets the pixels, the JPEG's loss and all.
    context = scu_->findPresentationContextID(sop_class, UID_LittleEndianExplicitTransferSyntax);
    if (context == 0) {
      context = scu_->findPresentationContextID(sop_class, UID_LittleEndianImplicitTransferSyntax);
    }
    static std::once_flag codecs;
    std::call_once(codecs, [] { DJDecoderRegistration::registerCodecs(); });
    if (context != 0 &&
        instance.dataset->chooseRepresentation(EXS_LittleEndianExplicit, nullptr).bad()) {
      throw Rejected("the archive takes no JPEG and \"" + instance.stored_name +
                     "\" cannot be decompressed");
    }
  }
  if (context == 0) Refuse(instance.sop_class_uid);
  Uint16 response = 0;
  const OFCondition status = scu_->sendSTORERequest(context, "", instance.dataset.get(), response);
  if (status.bad()) {
    Close();
    Fail("\"" + instance.stored_name + "\" was not sent", status);
  }
  if (!Stored(response)) {
    char code[8];
    std::snprintf(code, sizeof code, "%04X", response);
    const std::string why = "the archive did not store \"" + instance.stored_name +
                            "\": status 0x" + code + ", " + DU_cstoreStatusString(response);
    if (Busy(response)) throw Unreachable(why + "; asked again later");
    throw Rejected(why +
                   (response == 0xA900 && settings_.sop_class == SopClass::kOphthalmicPhotography
                        ? " (sop_class = SC sends Secondary Capture)"
                        : ""));
  }
}

}  // namespace tavirex::dicom
