"""Reading Authenticode signatures with osslsigncode and certificates with openssl, for the checks
of the built executable."""
import re
import struct
import subprocess


def verify(osslsigncode, exe, ca_file=None, tsa_ca_file=None):
    """(passed, output) of `osslsigncode verify`; without ca_file the system's trusted roots count."""
    command = [osslsigncode, "verify", "-in", exe]
    if ca_file:
        command += ["-CAfile", ca_file]
    if tsa_ca_file:
        command += ["-TSA-CAfile", tsa_ca_file]
    run = subprocess.run(command, capture_output=True, text=True)
    output = run.stdout + run.stderr
    passed = run.returncode == 0 and "Signature verification: ok" in output
    return passed, output


def signer_subject(verify_output):
    """The subject of the certificate that made the (first) signature, as osslsigncode prints it."""
    block = verify_output.split("Signer's certificate:", 1)
    if len(block) < 2:
        return None
    m = re.search(r"Subject:\s*(.+)", block[1])
    return m.group(1).strip() if m else None


def pfx_subject(openssl, pfx, password_file):
    """The subject of the certificate with the key in a PKCS#12 file, in osslsigncode's notation.
    Without a password file the PFX has an empty password."""
    password = f"file:{password_file}" if password_file else "pass:"
    certificate = subprocess.run(
        [openssl, "pkcs12", "-in", pfx, "-passin", password, "-nokeys", "-clcerts"],
        check=True, capture_output=True, text=True).stdout
    subject = subprocess.run([openssl, "x509", "-noout", "-subject", "-nameopt", "compat"], input=certificate,
                             check=True, capture_output=True, text=True).stdout
    return subject.strip().removeprefix("subject=")


def sections(data):
    """{name: (file offset, size)} of the PE sections of an image."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count = struct.unpack_from("<H", data, pe + 6)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    table = pe + 24 + optional_size
    result = {}
    for i in range(count):
        entry = table + 40 * i
        name = data[entry:entry + 8].rstrip(b"\0").decode("ascii", "replace")
        raw_size, raw_offset = struct.unpack_from("<II", data, entry + 16)
        result[name] = (raw_offset, raw_size)
    return result


def certificate_table(data):
    """(file offset, size) of the signature block (the security directory of the PE header)."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    magic = struct.unpack_from("<H", data, pe + 24)[0]
    directories = pe + 24 + (112 if magic == 0x20B else 96)
    return struct.unpack_from("<II", data, directories + 4 * 8)
