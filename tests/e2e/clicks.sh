# Where a user clicks in the launcher's windows, as "X Y" from the client area's top left.
# Sourced by scripts/try-launcher.sh and read by tests/e2e/verify/verify_e2e.py: one NAME="X Y" a line.
CHECK_BOX="345 45"        # the verification window's CbSafeCheck (防木马云验证)
INSTALL_BUTTON="520 37"   # the verification window's BtnInstall
CERT_BUTTON="240 154"     # the certification window's SpeedButton1
