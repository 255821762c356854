// Security descriptors, ACLs and SIDs in their Windows memory layout.
#include "security.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr DWORD kUnknownRevision = 1305;
constexpr DWORD kRevisionMismatch = 1306;
constexpr DWORD kInvalidSid = 1337;
constexpr DWORD kInvalidAcl = 1336;
constexpr DWORD kAllottedSpaceExceeded = 1344;
constexpr WORD kDaclPresent = 0x0004;
constexpr WORD kDaclDefaulted = 0x0008;
constexpr WORD kOwnerDefaulted = 0x0001;
constexpr BYTE kAccessAllowedAceType = 0;
constexpr size_t kAceHeader = 8; // type, flags, size, mask

// SID: revision, sub-authority count, 6-byte authority, 32-bit sub-authorities.
size_t SidLength(const BYTE* sid) {
    return 8 + 4u * sid[1];
}

bool ValidSid(const void* sid) {
    auto* bytes = static_cast<const BYTE*>(sid);
    return bytes && bytes[0] == 1 && bytes[1] <= 15;
}

WORD ReadWord(const BYTE* at) {
    WORD value;
    std::memcpy(&value, at, 2);
    return value;
}

// Offset just past the last ACE, or 0 when the ACE sizes overrun the ACL.
size_t AclEnd(const ACL* acl) {
    auto* base = reinterpret_cast<const BYTE*>(acl);
    size_t offset = sizeof(ACL);
    for (WORD i = 0; i < acl->AceCount; ++i) {
        if (offset + 4 > acl->AclSize) return 0;
        WORD size = ReadWord(base + offset + 2);
        if (size < 4 || offset + size > acl->AclSize) return 0;
        offset += size;
    }
    return offset;
}

std::string FormatSid(const BYTE* sid) {
    unsigned long long authority = 0;
    for (int i = 0; i < 6; ++i)
        authority = authority << 8 | sid[2 + i];
    char text[32];
    if (authority >> 32)
        std::snprintf(text, sizeof text, "S-%u-0x%llX", sid[0], authority);
    else
        std::snprintf(text, sizeof text, "S-%u-%llu", sid[0], authority);
    std::string out = text;
    for (BYTE i = 0; i < sid[1]; ++i) {
        DWORD sub;
        std::memcpy(&sub, sid + 8 + 4 * i, 4);
        out += "-" + std::to_string(sub);
    }
    return out;
}

} // namespace

namespace orbis::platform {

std::string FormatDacl(const ACL* acl) {
    if (!acl || AclEnd(acl) == 0) return "";
    auto* base = reinterpret_cast<const BYTE*>(acl);
    std::string out;
    size_t offset = sizeof(ACL);
    for (WORD i = 0; i < acl->AceCount; ++i) {
        const BYTE* ace = base + offset;
        WORD size = ReadWord(ace + 2);
        offset += size;
        if (size < kAceHeader + 8 || !ValidSid(ace + kAceHeader) ||
            kAceHeader + SidLength(ace + kAceHeader) > size)
            continue;
        DWORD mask;
        std::memcpy(&mask, ace + 4, 4);
        char hex[16];
        std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(mask));
        if (!out.empty()) out += ",";
        out += FormatSid(ace + kAceHeader) + ":" + hex;
    }
    return out;
}

bool DescribeDacl(const void* securityDescriptor, std::string* dacl) {
    auto* sd = static_cast<const SECURITY_DESCRIPTOR*>(securityDescriptor);
    if (!sd || sd->Revision != SECURITY_DESCRIPTOR_REVISION) return false;
    *dacl = (sd->Control & kDaclPresent) ? FormatDacl(sd->Dacl) : "";
    return true;
}

} // namespace orbis::platform

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor, DWORD dwRevision) {
    if (!pSecurityDescriptor || dwRevision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(pSecurityDescriptor ? kUnknownRevision : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(pSecurityDescriptor);
    std::memset(sd, 0, sizeof *sd);
    sd->Revision = SECURITY_DESCRIPTOR_REVISION;
    return TRUE;
}

BOOL InitializeAcl(PACL pAcl, DWORD nAclLength, DWORD dwAclRevision) {
    if (!pAcl || nAclLength < sizeof(ACL) || nAclLength > 0xFFFC) {
        SetLastError(pAcl && nAclLength < sizeof(ACL) ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (dwAclRevision < ACL_REVISION || dwAclRevision > 4) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    pAcl->AclRevision = static_cast<BYTE>(dwAclRevision);
    pAcl->Sbz1 = 0;
    pAcl->AclSize = static_cast<WORD>(nAclLength & ~3u);
    pAcl->AceCount = 0;
    pAcl->Sbz2 = 0;
    return TRUE;
}

BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority, BYTE nSubAuthorityCount,
                              DWORD nSubAuthority0, DWORD nSubAuthority1, DWORD nSubAuthority2,
                              DWORD nSubAuthority3, DWORD nSubAuthority4, DWORD nSubAuthority5,
                              DWORD nSubAuthority6, DWORD nSubAuthority7, PSID* pSid) {
    if (!pIdentifierAuthority || !pSid || nSubAuthorityCount > 8) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD subs[8] = {nSubAuthority0, nSubAuthority1, nSubAuthority2, nSubAuthority3,
                           nSubAuthority4, nSubAuthority5, nSubAuthority6, nSubAuthority7};
    auto* sid = static_cast<BYTE*>(std::calloc(1, 8 + 4u * nSubAuthorityCount));
    if (!sid) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    sid[0] = 1;
    sid[1] = nSubAuthorityCount;
    std::memcpy(sid + 2, pIdentifierAuthority->Value, 6);
    std::memcpy(sid + 8, subs, 4u * nSubAuthorityCount);
    *pSid = sid;
    return TRUE;
}

PVOID FreeSid(PSID pSid) {
    std::free(pSid);
    return nullptr;
}

BOOL AddAccessAllowedAce(PACL pAcl, DWORD dwAceRevision, DWORD AccessMask, PSID pSid) {
    if (!pAcl) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!ValidSid(pSid)) {
        SetLastError(kInvalidSid);
        return FALSE;
    }
    if (dwAceRevision < ACL_REVISION || dwAceRevision > 4) {
        SetLastError(kRevisionMismatch);
        return FALSE;
    }
    size_t end = AclEnd(pAcl);
    if (end == 0) {
        SetLastError(kInvalidAcl);
        return FALSE;
    }
    const size_t sidLength = SidLength(static_cast<const BYTE*>(pSid));
    const size_t aceSize = kAceHeader + sidLength;
    if (end + aceSize > pAcl->AclSize) {
        SetLastError(kAllottedSpaceExceeded);
        return FALSE;
    }
    BYTE* ace = reinterpret_cast<BYTE*>(pAcl) + end;
    ace[0] = kAccessAllowedAceType;
    ace[1] = 0;
    WORD size = static_cast<WORD>(aceSize);
    std::memcpy(ace + 2, &size, 2);
    std::memcpy(ace + 4, &AccessMask, 4);
    std::memcpy(ace + kAceHeader, pSid, sidLength);
    ++pAcl->AceCount;
    return TRUE;
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bDaclPresent, PACL pDacl,
                               BOOL bDaclDefaulted) {
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(pSecurityDescriptor);
    if (!sd || sd->Revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(sd ? kUnknownRevision : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    sd->Control &= static_cast<WORD>(~(kDaclPresent | kDaclDefaulted));
    if (bDaclPresent) {
        sd->Control |= kDaclPresent;
        if (bDaclDefaulted) sd->Control |= kDaclDefaulted;
        sd->Dacl = pDacl;
    } else {
        sd->Dacl = nullptr;
    }
    return TRUE;
}

BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID pOwner, BOOL bOwnerDefaulted) {
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(pSecurityDescriptor);
    if (!sd || sd->Revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(sd ? kUnknownRevision : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    sd->Owner = pOwner;
    sd->Control =
        static_cast<WORD>((sd->Control & ~kOwnerDefaulted) | (bOwnerDefaulted ? kOwnerDefaulted : 0));
    return TRUE;
}
